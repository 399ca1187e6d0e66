// Several application threads (and the interrupt threads) on the same cards
// at once: no update of a register the two axes of a card share is lost, no
// access touches a card being released, interrupt teardown from anywhere
// leaves no thread, handle or wait behind. These run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "core/card_table.h"
#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "support/sim_fixture.h"

namespace kpx::test {
namespace {

class HardeningThreaded : public SimTest {
 protected:
  // Runs the bodies on threads of their own; with seconds > 0 they loop
  // until stop_ is set after that time.
  void RunTogether(const std::vector<std::function<void()>> &bodies, double seconds = 0.0) {
    stop_ = false;
    std::vector<std::thread> threads(bodies.begin(), bodies.end());
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop_ = true;
    for (std::thread &t : threads) t.join();
  }
  void ExpectNothingLeft() {
    EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
    for (unsigned c = 0; c < 2; ++c) EXPECT_EQ(kpx4160_sim_interrupt_waiters(c), 0u);
    EXPECT_EQ(core::InitCount, 0u);
  }
  std::atomic<bool> stop_{false};
};

// One thread per axis of card 0, each writing its own field of a register
// both axes share and reading it back: the other's read-modify-write must
// never undo it.
TEST_F(HardeningThreaded, NoLostUpdateBetweenTheAxesOfACard) {
  OpenCards(1);
  kpx4160_sim_trace_enable(0);
  struct Case {
    const char *name;
    int values;
    void (*set)(uint16_t axis, uint16_t v);
    int (*get)(uint16_t axis);
  };
  const Case cases[] = {
      {"servo-on", 2, [](uint16_t a, uint16_t v) { k4160_write_SEVON_PIN(a, v); },
       [](uint16_t a) { return int{k4160_read_SEVON_PIN(a)}; }},
      {"counter configuration", 4, [](uint16_t a, uint16_t v) { k4160_counter_config(a, v); },
       [](uint16_t a) { return static_cast<int>((read_dword_pld_register(0, 0x40) >> (8 * a)) & 3); }},
      {"general output against servo-on", 2,
       [](uint16_t a, uint16_t v) { a == 0 ? k4160_write_outbit(0, 1, v) : k4160_write_SEVON_PIN(0, v); },
       [](uint16_t a) { return int{a == 0 ? k4160_read_outbit(0, 1) : k4160_read_SEVON_PIN(0)}; }},
  };
  for (const Case &c : cases) {
    std::atomic<int> lost{0};
    const auto drive = [&](uint16_t axis) {
      return [&, axis] {
        for (int i = 0; i < 20000; ++i) {
          const auto v = static_cast<uint16_t>((i + axis) % c.values);
          c.set(axis, v);
          if (c.get(axis) != v) ++lost;
        }
      };
    };
    RunTogether({drive(0), drive(1)});
    EXPECT_EQ(lost.load(), 0) << c.name;
  }
}

// Register accesses and emergency stops racing init and close on two
// threads: an access that loses the race finds an empty slot.
TEST_F(HardeningThreaded, AccessesRacingCloseFindAnEmptySlot) {
  kpx4160_sim_set_card_count(2);
  kpx4160_sim_trace_enable(0);
  const auto cycle = [&] {
    while (!stop_) k4160_board_init(), k4160_board_close();
  };
  RunTogether({[&] { while (!stop_) k4160_check_done(0); },
               [&] { while (!stop_) k4160_emg_stop(), write_dword_pld_register(1, 0x44, 0); }, cycle, cycle},
              0.5);
  ExpectNothingLeft();
}

// Everything at once: four threads each driving its own axis of two cards
// (profiles, moves, stops, status, general outputs, servo-on) and checking
// its own output bits, two switching interrupts on and off while the
// callback switches them off too, one raising them, one making nested
// init/close calls. Afterwards nothing is left running.
TEST_F(HardeningThreaded, StressEveryPathAtOnce) {
  OpenCards(2);
  kpx4160_sim_trace_enable(0);
  static std::atomic<int> calls{0};
  k4160_set_board_isr([](uint16_t card) {
    k4160_check_done(static_cast<uint16_t>(2 * card));
    if (++calls % 2 == 0) k4160_set_int_disable();
  });
  std::atomic<int> lost{0};
  const auto axis_thread = [&](uint16_t axis) {
    return [&, axis] {
      const auto card = static_cast<uint16_t>(axis / 2), outbit = static_cast<uint16_t>(1 + axis % 2);
      for (int i = 0; !stop_; ++i) {
        const auto on = static_cast<uint16_t>(i & 1);
        k4160_set_profile(axis, 100.0 + i % 7, 5000.0, 0.01, 0.02);
        (i % 3 == 0 ? k4160_t_pmove : k4160_s_pmove)(axis, 200 - i % 400, 0);
        k4160_write_outbit(card, outbit, on);
        k4160_write_SEVON_PIN(axis, on);
        k4160_check_done(axis);
        if (i % 5 == 0) k4160_decel_stop(axis, 0.01); else if (i % 5 == 1) k4160_imd_stop(axis);
        if (k4160_read_outbit(card, outbit) != on || k4160_read_SEVON_PIN(axis) != on) ++lost;
      }
    };
  };
  const auto toggle = [&] {
    while (!stop_) k4160_set_int_enable(0), k4160_set_int_enable(1), k4160_set_int_disable();
  };
  RunTogether({axis_thread(0), axis_thread(1), axis_thread(2), axis_thread(3), toggle, toggle,
               [&] { while (!stop_) kpx4160_sim_raise_interrupt(0), kpx4160_sim_raise_interrupt(1); },
               [&] {
                 while (!stop_) {
                   EXPECT_EQ(k4160_board_init(), 2u);
                   k4160_board_close();
                 }
               }},
              2.0);
  k4160_set_int_disable();
  k4160_set_board_isr(nullptr);
  EXPECT_GT(calls.load(), 0);
  EXPECT_EQ(lost.load(), 0);
  for (unsigned c = 0; c < 2; ++c) EXPECT_EQ(kpx4160_sim_interrupt_enabled(c), 0);
  k4160_board_close();
  ExpectNothingLeft();
}

}  // namespace
}  // namespace kpx::test
