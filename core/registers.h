// The locked register accessors: the only way any subsystem reaches a card.
//
// Address space 1 of a card holds the PLD registers (32-bit, by byte offset)
// and, per chip axis, four 16-bit ports of the pulse-generator chip. A chip
// register is written by putting its value on the data ports and then its
// write code on the command port; it is read by writing its read code (write
// code + 0x40) to the command port and then reading the data ports.
//
// Each accessor takes RegisterLock for its whole port sequence and checks,
// under it, that the library is initialised and the card slot holds an open
// card; otherwise a write is dropped and a read returns 0. Card numbers of
// 16 and above never hold a card and take no lock.
#pragma once

#include <cstdint>

#include "kpx4160.h"

namespace kpx::core {

// The address space that holds the PLD and the chip.
inline constexpr uint32_t kRegisterSpace = 1;

// Chip ports, as byte offsets in the register space for a chip register base
// of 0 (chip axis 0) or 8 (chip axis 1): port + 4 x base.
inline constexpr uint32_t kPclCommandPort = 0x80;   // command / register code; read: main status
inline constexpr uint32_t kPclOtpwPort = 0x88;      // OTPW (write) / SSTSW sub-status (read)
inline constexpr uint32_t kPclDataLowPort = 0x90;   // register bits 0-15
inline constexpr uint32_t kPclDataHighPort = 0x98;  // register bits 16-31

inline constexpr uint32_t PclPort(uint32_t port, uint16_t base) { return port + 4u * base; }

// Axis addressing: axis n is chip axis n & 1 of card n >> 1.
inline constexpr uint16_t CardOf(uint16_t axis) { return static_cast<uint16_t>(axis >> 1); }
inline constexpr uint16_t ChipAxisOf(uint16_t axis) { return static_cast<uint16_t>(axis & 1); }
inline constexpr uint16_t BaseOf(uint16_t axis) { return static_cast<uint16_t>((axis & 1) * 8); }
inline constexpr uint16_t BaseOfChipAxis(uint16_t chip_axis) { return static_cast<uint16_t>(chip_axis * 8); }

void WritePclCommand(uint16_t card, uint16_t base, uint16_t code);
uint16_t ReadPclMainStatus(uint16_t card, uint16_t base);
void WritePclRegister16(uint16_t card, uint16_t base, uint16_t write_code, uint16_t value);
void WritePclRegister32(uint16_t card, uint16_t base, uint16_t write_code, uint32_t value);
uint16_t ReadPclRegister16(uint16_t card, uint16_t base, uint16_t read_code);
uint32_t ReadPclRegister32(uint16_t card, uint16_t base, uint16_t read_code);
// The OTPW/SSTSW port and PLD accessors are exported under their own names
// and declared in kpx4160.h: write_word_pcl_otpw, read_word_pcl_sstsw,
// write_dword_pld_register, read_dword_pld_register.

// Holds RegisterLock for a read-modify-write that must be atomic against
// every other register access; the accessors called inside take it again.
class RegisterTransaction {
 public:
  RegisterTransaction();
  ~RegisterTransaction();
  RegisterTransaction(const RegisterTransaction &) = delete;
  RegisterTransaction &operator=(const RegisterTransaction &) = delete;
};

}  // namespace kpx::core

namespace kpx::core {

// Read-modify-write of a chip register: reads it by its read code, keeps the
// bits of keep_mask, ORs in set_bits and writes the result by write_code.
// Returns the value written. Holds RegisterLock throughout, so a setter of
// the other axis cannot slip its own update in between and lose it.
uint32_t ModifyPclRegister(uint16_t card, uint16_t base, uint16_t read_code, uint16_t write_code, uint32_t keep_mask,
                           uint32_t set_bits);
// The same for a PLD register at a byte offset.
uint32_t ModifyPldRegister(uint16_t card, uint16_t offset, uint32_t keep_mask, uint32_t set_bits);

}  // namespace kpx::core
