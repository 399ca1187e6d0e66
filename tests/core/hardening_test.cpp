// Hostile but legal calls on the simulated cards: accesses outside the
// register space, NaN and overflowing arguments, odd card layouts, and the
// axes of the sixteenth card. Each case once crashed, read foreign memory or
// wrote the wrong thing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class Hardening : public SimTest {};

// Offsets past the 256-byte register space: nothing is written anywhere (not
// on this card, not on the next one) and every read is 0, whether the space
// is mapped memory or reached through port transfers.
TEST_F(Hardening, AccessesOutsideTheRegisterSpaceTouchNothing) {
  const std::function<uint32_t()> accesses[] = {
      [] { return write_word_pcl_otpw(0, 0xFFFF, 0xABCD), 0u; },
      [] { return write_dword_pld_register(0, 0x1000, 0xA5A5A5A5), 0u; },
      [] { return write_dword_pld_register(0, 0x144, 0xA5A5A5A5), 0u; },  // card 1's 0x44 on the bus
      [] { return write_dword_pld_register(0, 0xFE, 0xA5A5A5A5), 0u; },
      [] { return k4160_write_pcl_register(0, 100, 0x80, 1), 0u; },
      [] { return read_dword_pld_register(0, 0xFFFC); },
      [] { return uint32_t{read_word_pcl_sstsw(0, 0xFFFF)}; },
      [] { return k4160_read_pcl_register(0, 100, 0xC0); },
  };
  for (int memory : {0, 1}) {
    for (size_t i = 0; i < std::size(accesses); ++i) {
      SCOPED_TRACE(testing::Message() << "case " << i << (memory ? " memory" : " ports"));
      kpx4160_sim_reset();
      kpx4160_sim_set_card_count(2);
      kpx4160_sim_set_register_space_memory(0, memory);
      ASSERT_EQ(k4160_board_init(), 2u);
      write_dword_pld_register(1, 0x44, 0x12345678);
      kpx4160_sim_trace_clear();
      EXPECT_EQ(accesses[i](), 0u);
      EXPECT_EQ(kpx4160_sim_trace_size(), 0u);  // not a single port access
      EXPECT_EQ(kpx4160_sim_get_pld_register(1, 0x44), 0x12345678u);
      k4160_board_close();
    }
  }
}

// The simulator's own interface: a window offset whose + 4 wraps, and a
// motion log with a tiny interval over a long run, which stops at its cap.
TEST_F(Hardening, SimulatorInterfaceBounds) {
  OpenCards(1);
  EXPECT_EQ(kpx4160_sim_read_window32(0, 0xFFFFFFFCu), 0u);
  ASSERT_EQ(kpx4160_sim_log_start(1e-6), 0);
  EXPECT_EQ(kpx4160_sim_log_full(), 0);
  kpx4160_sim_advance(2.0);
  EXPECT_EQ(kpx4160_sim_log_size(), 1u << 20);
  EXPECT_EQ(kpx4160_sim_log_full(), 1);
  ASSERT_EQ(kpx4160_sim_log_start(0.5), 0);  // a new log records again
  EXPECT_EQ(kpx4160_sim_log_full(), 0);
  EXPECT_EQ(kpx4160_sim_log_size(), 2u);  // the first instant: both chip axes
}

// A card without an interrupt is registered by the driver and then refused
// by the library's own resource check, whatever its register space is.
TEST_F(Hardening, CardWithoutInterruptIsRefusedByTheResourceCheck) {
  for (int memory : {0, 1}) {
    SCOPED_TRACE(memory);
    kpx4160_sim_reset();
    kpx4160_sim_set_resources(0, KPX4160_SIM_RESOURCES_NO_INTERRUPT);
    kpx4160_sim_set_register_space_memory(0, memory);
    EXPECT_EQ(k4160_board_init(), 1001u);
    char text[128];
    EXPECT_GT(k4160_get_error_text(text, sizeof text), 0);
    EXPECT_STREQ(text, "Card does not have all items expected for KPX4X60\n");
    EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);  // released again
    CloseLibraryCompletely();
  }
}

// A nested init whose scan finds fewer cards lowers the card count; the
// last close still releases every card that was opened.
TEST_F(Hardening, LastCloseReleasesCardsTheCountNoLongerCovers) {
  OpenCards(3);
  kpx4160_sim_set_card_count(1);
  EXPECT_EQ(k4160_board_init(), 1u);
  k4160_board_close();
  k4160_board_close();
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
}

// Axes 30 and 31 (card 15) home like any other axis.
TEST_F(Hardening, HomeSearchOnTheLastCard) {
  OpenCards(16);
  for (uint16_t axis : {30, 31}) {
    SCOPED_TRACE(axis);
    kpx4160_sim_trace_clear();
    kpx4160_sim_set_pcl_register(15, axis & 1, 0x97, 0);
    k4160_home_move(axis, 2, 1);
    EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(15, 0x70, 0), PclRead(15, axis & 1, 0xD7, 0),
                                                       PclWrite32(15, axis & 1, 0x87, 0x18),
                                                       Command(15, axis & 1, 0x53)}));
  }
}

// NaN passes neither the frequency clamps nor the duty comparisons.
TEST_F(Hardening, PwmWithNaN) {
  OpenCards(1);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double frequency, duty;
    uint32_t period, high;
  } const cases[] = {{nan, 0.25, 0x80000000u, 0xE0000000u},  // trunc(-2^31 x 0.25)
                     {nan, 0.0, 0x80000000u, 1u},
                     {nan, 1.0, 0x80000000u, 0x7FFFFFFFu},  // period - 1, in 32 bits
                     {1000.0, nan, 33488u, 0x80000000u},
                     {nan, nan, 0x80000000u, 0x80000000u}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.frequency << " Hz, duty " << c.duty);
    EXPECT_EQ(k4160_config_PWM2_PIN(0, 1, c.frequency, c.duty), 0);
    EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0xD0), c.period);
    EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0xD4), c.high);
  }
}

// The older command set with extreme card and mode numbers: the unsigned
// products address the same axes as the small numbers they wrap to.
TEST_F(Hardening, LegacyExtremeNumbersWrapLikeSmallOnes) {
  OpenCards(2);
  const auto trace_of = [](const std::function<void()> &call) {
    for (unsigned card : {0u, 1u})
      for (unsigned chip_axis : {0u, 1u}) kpx4160_sim_set_pcl_register(card, chip_axis, 0x97, 0);  // mode as at start
    kpx4160_sim_trace_clear();
    call();
    return DecodedTrace();
  };
  EXPECT_EQ(trace_of([] { Start_move_xy(INT32_MIN, 0, 0); }), trace_of([] { Start_move_xy(0, 0, 0); }));
  EXPECT_EQ(trace_of([] { Start_move_xy(INT32_MIN + 1, 0, 0); }), trace_of([] { Start_move_xy(1, 0, 0); }));
  EXPECT_EQ(trace_of([] { Set_pls_iptmode(0, INT32_MAX); }), trace_of([] { Set_pls_iptmode(0, -1); }));
}

}  // namespace
}  // namespace kpx::test
