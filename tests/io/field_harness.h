// Checks that a sequence of setters, run one after another on registers
// pre-filled with a pattern, changes exactly the field each one owns: every
// other bit of the register, the same register of the other chip axis and of
// the other card keep their values.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "kpx4160_sim.h"

namespace kpx::test {

struct Change {
  uint32_t field;  // bits the call may change (0: the call must change nothing)
  uint32_t want;   // their value afterwards
};
struct FieldStep {
  const char *what;
  std::function<Change(uint16_t axis)> run;  // makes the call on axis, says what it must change
};

inline constexpr uint32_t kPatterns[] = {0xA5A5A5A5u, 0x5A5A5A5Au};

// A chip register (by write code) of both cards' chip axes pre-filled; the
// steps run on axis (card axis >> 1). Needs two open cards.
inline void RunPclFieldSteps(uint16_t write_code, const std::vector<FieldStep> &steps) {
  for (uint32_t pattern : kPatterns) {
    for (uint16_t axis : {uint16_t{2}, uint16_t{3}}) {
      SCOPED_TRACE(testing::Message() << "axis " << axis << " pattern 0x" << std::hex << pattern);
      for (unsigned c = 0; c < 2; ++c)
        for (unsigned a = 0; a < 2; ++a) kpx4160_sim_set_pcl_register(c, a, write_code, pattern ^ (a ? 0x0F0F0F0Fu : 0u));
      uint32_t expect = pattern ^ ((axis & 1) ? 0x0F0F0F0Fu : 0u);
      for (const FieldStep &s : steps) {
        SCOPED_TRACE(s.what);
        const Change ch = s.run(axis);
        ASSERT_EQ(ch.want & ~ch.field, 0u) << "test error: value outside field";
        expect = (expect & ~ch.field) | ch.want;
        EXPECT_EQ(kpx4160_sim_get_pcl_register(1, axis & 1, write_code), expect) << std::hex;
        const unsigned other = (axis & 1) ^ 1u;
        EXPECT_EQ(kpx4160_sim_get_pcl_register(1, other, write_code), pattern ^ (other ? 0x0F0F0F0Fu : 0u));
        for (unsigned a = 0; a < 2; ++a)
          EXPECT_EQ(kpx4160_sim_get_pcl_register(0, a, write_code), pattern ^ (a ? 0x0F0F0F0Fu : 0u));
      }
    }
  }
}

// A PLD register of both cards pre-filled; the steps run on axis 2 or 3
// (card 1) and the want of a step is for that axis's chip axis.
inline void RunPldFieldSteps(uint16_t offset, const std::vector<FieldStep> &steps) {
  for (uint32_t pattern : kPatterns) {
    for (uint16_t axis : {uint16_t{2}, uint16_t{3}}) {
      SCOPED_TRACE(testing::Message() << "axis " << axis << " pattern 0x" << std::hex << pattern);
      kpx4160_sim_set_pld_register(0, offset, ~pattern);
      kpx4160_sim_set_pld_register(1, offset, pattern);
      uint32_t expect = pattern;
      for (const FieldStep &s : steps) {
        SCOPED_TRACE(s.what);
        const Change ch = s.run(axis);
        ASSERT_EQ(ch.want & ~ch.field, 0u) << "test error: value outside field";
        expect = (expect & ~ch.field) | ch.want;
        EXPECT_EQ(read_dword_pld_register(1, offset), expect) << std::hex;
        EXPECT_EQ(read_dword_pld_register(0, offset), ~pattern);
      }
    }
  }
}

inline constexpr uint32_t B(unsigned n) { return 1u << n; }

}  // namespace kpx::test
