// Two-axis lines and the multi-axis point moves with their synchronisation
// options: the register traffic on both axes, in order.
#include <gtest/gtest.h>

#include <functional>

#include "interp/interp_fixture.h"

namespace kpx::test {
namespace {

class LineMove : public InterpTest {};
using Ops = std::vector<RegisterOp>;
constexpr uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }

// A line: distance and long-axis distance to each axis, then each axis's
// speed registers (start, maximum, both rates, multiplier for unit 1 pulse/s),
// its operation mode read and written back with the line's mode, then both
// starts. Axes as {card, chip axis}.
uint32_t ModeBefore(uint32_t card, uint32_t chip) { return card == chip ? ~0u : 0x00030341u; }
Ops Line(std::pair<uint32_t, uint32_t> a, int32_t d1, std::pair<uint32_t, uint32_t> b, int32_t d2, uint32_t long_axis,
         uint32_t start, uint32_t max, uint32_t rate) {
  Ops w = {PclWrite32(a.first, a.second, 0x80, U(d1)), PclWrite32(a.first, a.second, 0x88, long_axis),
           PclWrite32(b.first, b.second, 0x80, U(d2)), PclWrite32(b.first, b.second, 0x88, long_axis)};
  for (const auto &x : {a, b}) {
    const uint32_t mode = ModeBefore(x.first, x.second);
    w.insert(w.end(), {PclWrite16(x.first, x.second, 0x81, start), PclWrite16(x.first, x.second, 0x82, max),
                       PclWrite16(x.first, x.second, 0x83, rate), PclWrite16(x.first, x.second, 0x84, rate),
                       PclWrite16(x.first, x.second, 0x85, 1199), PclWrite32(x.first, x.second, 0x86, 0),
                       PclRead(x.first, x.second, 0xD7, mode),
                       PclWrite32(x.first, x.second, 0x87, (mode & 0xFBFF5B80u) | 0x63)});
  }
  w.insert(w.end(), {Command(a.first, a.second, 0x53), Command(b.first, b.second, 0x53)});
  return w;
}

Ops operator+(Ops a, const Ops &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(LineMove, RegisterTrafficOfLines) {
  // Vector profile 1000 -> 5000 pulses/s in 0.1 s (a line ramps down as it
  // ramps up, whatever its own deceleration time). A 3-4-5 line: path 5000,
  // the long axis's share 0.8, both axes 800 -> 4000 with rates
  // trunc(0.1 x 19660800 / (2 x 3200) - 1) = 306; an axis-parallel line's
  // rates are trunc(0.1 x 19660800 / 8000 - 1) = 244.
  const Ops three_four_five = Line({0, 0}, 3000, {0, 1}, -4000, 4000, 800, 4000, 306);
  struct Case {
    const char *what;
    std::function<void()> call;
    Ops want;
  } const cases[] = {
    {"3-4-5 line", [] { k4160_t_line2(0, 3000, 1, -4000, 0); }, three_four_five},
    {"absolute: logical positions read and subtracted first", [] { k4160_t_line2(0, 3500, 1, -4200, 1); },
     Ops{PclRead(0, 0, 0xE3, 500), PclRead(0, 1, 0xE3, U(-200))} + three_four_five},
    {"any mode but 1 is relative", [] { k4160_t_line2(0, 3500, 1, -4200, 2); },
     Line({0, 0}, 3500, {0, 1}, -4200, 4200, 768, 3841, 318)},
    {"axes on two cards, second axis first", [] { k4160_t_line2(2, -4000, 1, 3000, 0); },
     Line({1, 0}, -4000, {0, 1}, 3000, 4000, 800, 4000, 306)},
    {"axis-parallel: the moving axis takes the path speeds", [] { k4160_t_line2(0, 0, 1, -2500, 0); },
     Line({0, 0}, 0, {0, 1}, -2500, 2500, 1000, 5000, 244)},
    {"no length: speeds 0 become the lowest register values", [] { k4160_t_line2(0, 0, 1, 0, 0); },
     Line({0, 0}, 0, {0, 1}, 0, 0, 1, 1, 1)},
    {"axis 30", [] { k4160_t_line2(30, 100, 1, 100, 1); }, {}},
    {"axis 31", [] { k4160_t_line2(0, 100, 31, 100, 1); }, {}},
  };
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, 500);
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, U(-200));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    k4160_set_vector_profile(1000, 5000, 0.1, 0.7);
    for (unsigned card : {0u, 1u})
      for (unsigned chip : {0u, 1u}) kpx4160_sim_set_pcl_register(card, chip, 0x97, ModeBefore(card, chip));
    kpx4160_sim_trace_clear();
    c.call();
    EXPECT_EQ(DecodedTrace(), c.want);
  }
}

TEST_F(LineMove, MoveAllAndSynchronisedStarts) {
  k4160_set_profile(2, 1000.0, 2000.0, 0.1, 0.1);
  k4160_set_profile(1, 1000.0, 2000.0, 0.2, 0.2);
  const uint32_t rate2 = kpx4160_sim_get_pcl_register(1, 0, 0x83) & 0xFFFF;
  const uint32_t rate1 = kpx4160_sim_get_pcl_register(0, 1, 0x83) & 0xFFFF;
  ASSERT_NE(rate1, rate2);
  // Each axis completely, in list order: distance, no multiplier change, its
  // own deceleration rate, the mode (sync fields kept), its start.
  const Ops axis2 = {PclWrite32(1, 0, 0x86, 0), PclWrite16(1, 0, 0x84, rate2), PclRead(1, 0, 0xD7, ~0u),
                     PclWrite32(1, 0, 0x87, 0xFBFF5BC1), Command(1, 0, 0x53)};
  const Ops axis1 = {PclWrite32(0, 1, 0x86, 0), PclWrite16(0, 1, 0x84, rate1), PclRead(0, 1, 0xD7, 0x030C0000),
                     PclWrite32(0, 1, 0x87, 0x030C0041), Command(0, 1, 0x53)};
  static const uint16_t axes[] = {2, 1}, far_axes[] = {0, 30};
  static const int32_t dist[] = {1000, -500};
  struct Case {
    const char *what;
    std::function<int32_t()> call;
    int32_t result;
    Ops want;
  } const cases[] = {
    {"two axes", [] { return k4160_set_t_move_all(2, axes, dist, 0); }, 1,
     Ops{PclWrite32(1, 0, 0x80, 1000)} + axis2 + Ops{PclWrite32(0, 1, 0x80, U(-500))} + axis1},
    {"absolute", [] { return k4160_set_t_move_all(2, axes, dist, 1); }, 1,
     Ops{PclRead(1, 0, 0xE3, 250), PclWrite32(1, 0, 0x80, 750)} + axis2 +
         Ops{PclRead(0, 1, 0xE3, U(-100)), PclWrite32(0, 1, 0x80, U(-400))} + axis1},
    {"no axes", [] { return k4160_set_t_move_all(0, axes, dist, 0); }, -1, {}},
    {"no axis list", [] { return k4160_set_t_move_all(2, nullptr, dist, 0); }, -1, {}},
    {"no distances", [] { return k4160_set_t_move_all(2, axes, nullptr, 0); }, -1, {}},
    {"position mode 2", [] { return k4160_set_t_move_all(2, axes, dist, 2); }, -1, {}},
    {"axis 30: the first axis is not touched either", [] { return k4160_set_t_move_all(2, far_axes, dist, 0); }, -1, {}},
    {"sync flag 1 above 1", [] { return k4160_set_sync_option(1, 2, 0, 0, 0); }, -1, {}},
    {"sync flag 2 above 1", [] { return k4160_set_sync_option(1, 0, 2, 0, 0); }, -1, {}},
    {"sync mode 4", [] { return k4160_set_sync_option(1, 0, 0, 4, 0); }, -1, {}},
    {"sync stop mode 2", [] { return k4160_set_sync_stop_mode(1, 2); }, -1, {}},
    {"simultaneous start", [] { return k4160_start_move_all(3); }, 1, {Command(1, 1, 0x06)}},
    {"simultaneous start on no card", [] { return k4160_start_move_all(40); }, 1, {}},
  };
  kpx4160_sim_set_pcl_register(1, 0, 0xE3, 250);
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, U(-100));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    kpx4160_sim_set_pcl_register(1, 0, 0x97, ~0u);
    kpx4160_sim_set_pcl_register(0, 1, 0x97, 0x030C0000);
    kpx4160_sim_trace_clear();
    EXPECT_EQ(c.call(), c.result);
    EXPECT_EQ(DecodedTrace(), c.want);
  }
  // The sync fields of the operation mode and signal configuration 1.
  RunFieldSteps({false, 0x97}, {
    {"flag1, mode 3", [](uint16_t a) { k4160_set_sync_option(a, 1, 0, 3, 9); }, 0x030C0000, 0x010C0000},
    {"all off", [](uint16_t a) { k4160_set_sync_option(a, 0, 0, 0, 0); }, 0x030C0000, 0},
  });
  RunFieldSteps({false, 0x9C}, {
    {"sync stop 1", [](uint16_t a) { k4160_set_sync_stop_mode(a, 1); }, B(19), B(19)},
    {"sync stop 0", [](uint16_t a) { k4160_set_sync_stop_mode(a, 0); }, B(19), 0},
  });
}

}  // namespace
}  // namespace kpx::test
