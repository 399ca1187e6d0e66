// Turns the simulated card's raw port trace into the register operations it
// stands for, so tests can assert "register 0x80 of card 1, chip axis 1 was
// written with 1000" instead of port offsets.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "kpx4160_sim.h"

namespace kpx::test {

enum class Op {
  kPclWrite,    // data ports then a write code (width 32 if the high port was written, else 16)
  kPclRead,     // a read code, then the data ports read (value assembled from them)
  kCommand,     // any other code on the command port
  kMainStatus,  // read of the command port
  kSstsw,       // read of the OTPW/SSTSW port
  kOtpw,        // write of the OTPW/SSTSW port
  kPldWrite,
  kPldRead,
};

struct RegisterOp {
  Op op;
  uint32_t card;
  uint32_t chip_axis;  // chip operations only
  uint32_t code;       // register code or command; PLD byte offset for PLD operations
  uint32_t value;
  uint32_t width;      // 16 or 32

  bool operator==(const RegisterOp &) const = default;
};

std::string ToString(const RegisterOp &op);
// Lets GoogleTest print operations readably.
inline void PrintTo(const RegisterOp &op, std::ostream *os) { *os << ToString(op); }

// The whole trace so far, raw.
std::vector<kpx4160_sim_access> RawTrace();
// The whole trace so far, decoded.
std::vector<RegisterOp> DecodedTrace();
std::vector<RegisterOp> Decode(const std::vector<kpx4160_sim_access> &raw);

// Filters of a decoded trace.
std::vector<RegisterOp> Only(const std::vector<RegisterOp> &ops, Op kind);
std::vector<RegisterOp> OnAxis(const std::vector<RegisterOp> &ops, uint32_t card, uint32_t chip_axis);

// Shorthands for expected operations (card, chip axis or PLD offset, code, value).
inline RegisterOp PclWrite32(uint32_t c, uint32_t a, uint32_t code, uint32_t v) { return {Op::kPclWrite, c, a, code, v, 32}; }
inline RegisterOp PclWrite16(uint32_t c, uint32_t a, uint32_t code, uint32_t v) { return {Op::kPclWrite, c, a, code, v, 16}; }
inline RegisterOp PclRead(uint32_t c, uint32_t a, uint32_t code, uint32_t v) { return {Op::kPclRead, c, a, code, v, 32}; }
inline RegisterOp Command(uint32_t c, uint32_t a, uint32_t code) { return {Op::kCommand, c, a, code, 0, 16}; }
inline RegisterOp PldWrite(uint32_t c, uint32_t offset, uint32_t v) { return {Op::kPldWrite, c, 0, offset, v, 32}; }
inline RegisterOp PldRead(uint32_t c, uint32_t offset, uint32_t v) { return {Op::kPldRead, c, 0, offset, v, 32}; }

}  // namespace kpx::test
