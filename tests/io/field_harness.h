// The io tests' fixture (two open cards) and the shared-register check: a
// sequence of setters, run one after another on registers pre-filled with a
// pattern, changes exactly the field each one owns; every other bit of the
// register, the same register of the other chip axis and of the other card
// keep their values.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "kpx4160_sim.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {

class IoTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    OpenCards(2);
  }
};

struct FieldStep {
  const char *what;
  std::function<void(uint16_t axis)> run;  // makes the call on axis
  uint32_t field;                          // bits the call may change (0: the call must change nothing)
  uint32_t want;                           // their value afterwards (for chip axis 0)
  unsigned shift = 0;                      // how far both move up for chip axis 1 in a card register
};
// A chip register (by write code, one per chip axis) or a PLD register (by offset, one per card; its
// value as the library reads it).
struct SharedReg {
  bool pld;
  uint16_t code;
};

inline constexpr uint32_t B(unsigned n) { return 1u << n; }

// The steps run on axis 2 and on axis 3 (card 1); both cards' registers start
// from a pattern that differs per card and per chip axis.
inline void RunFieldSteps(SharedReg reg, const std::vector<FieldStep> &steps) {
  const auto fill = [&](uint32_t p, unsigned card, unsigned chip) {
    return (card ? p : ~p) ^ (chip && !reg.pld ? 0x0F0F0F0Fu : 0u);
  };
  const auto get = [&](unsigned card, unsigned chip) {
    return reg.pld ? read_dword_pld_register(card, reg.code) : kpx4160_sim_get_pcl_register(card, chip, reg.code);
  };
  for (uint32_t pattern : {0xA5A5A5A5u, 0x5A5A5A5Au}) {
    for (uint16_t axis : {uint16_t{2}, uint16_t{3}}) {
      SCOPED_TRACE(testing::Message() << "register 0x" << std::hex << reg.code << " axis " << axis << " pattern 0x"
                                      << pattern);
      for (unsigned c = 0; c < 2; ++c)
        for (unsigned a = 0; a < 2; ++a)
          reg.pld ? kpx4160_sim_set_pld_register(c, reg.code, fill(pattern, c, a))
                  : kpx4160_sim_set_pcl_register(c, a, reg.code, fill(pattern, c, a));
      uint32_t expect = fill(pattern, 1, axis & 1);
      for (const FieldStep &s : steps) {
        SCOPED_TRACE(s.what);
        s.run(axis);
        const unsigned up = (axis & 1u) * s.shift;
        ASSERT_EQ(s.want & ~s.field, 0u) << "test error: value outside field";
        expect = (expect & ~(s.field << up)) | s.want << up;
        for (unsigned c = 0; c < 2; ++c)
          for (unsigned a = 0; a < 2; ++a) {
            const bool mine = c == 1 && (reg.pld || a == (axis & 1u));
            EXPECT_EQ(get(c, a), mine ? expect : fill(pattern, c, a)) << std::hex << "card " << c << " chip " << a;
          }
      }
    }
  }
}

}  // namespace kpx::test
