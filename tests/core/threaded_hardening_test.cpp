// Several application threads (and the interrupt threads) on the same
// cards at once: no update of a register shared by the two axes of a card
// is lost, no access touches a card being released, interrupt teardown from
// anywhere leaves no thread, handle or wait behind. These run under
// ThreadSanitizer as well.
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
  // Runs the bodies on threads of their own until each returns, or all stop
  // after `seconds` when they loop on `stop_`.
  void RunTogether(const std::vector<std::function<void()>> &bodies, double seconds = 0.0) {
    stop_ = false;
    std::vector<std::thread> threads;
    for (const auto &body : bodies) threads.emplace_back(body);
    if (seconds > 0.0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      stop_ = true;
    }
    for (std::thread &t : threads) t.join();
  }
  // Nothing of the library is left: no driver handle, no interrupt wait.
  void ExpectNothingLeft(unsigned cards) {
    EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
    for (unsigned c = 0; c < cards; ++c) EXPECT_EQ(kpx4160_sim_interrupt_waiters(c), 0u) << "card " << c;
    EXPECT_EQ(core::InitCount, 0u);
  }
  std::atomic<bool> stop_{false};
};

// Two threads, one per axis of card 0, each setting its own field of a
// register both axes share and reading it back: another thread's
// read-modify-write must never undo it.
TEST_F(HardeningThreaded, NoLostUpdateBetweenTheAxesOfACard) {
  OpenCards(1);
  kpx4160_sim_trace_enable(0);
  constexpr int kWrites = 20000;
  // set(axis, v) writes v into the field that thread `axis` owns; get(axis)
  // reads that field back as the setter's value.
  struct Case {
    const char *name;
    int values;  // the field takes 0 .. values - 1
    void (*set)(uint16_t axis, int v);
    int (*get)(uint16_t axis);
  };
  const Case cases[] = {
      {"servo-on", 2, [](uint16_t a, int v) { k4160_write_SEVON_PIN(a, static_cast<uint16_t>(v & 1)); },
       [](uint16_t a) { return static_cast<int>(k4160_read_SEVON_PIN(a)); }},
      {"counter configuration", 4, [](uint16_t a, int v) { k4160_counter_config(a, static_cast<uint16_t>(v & 3)); },
       [](uint16_t a) { return static_cast<int>((read_dword_pld_register(0, 0x40) >> (8 * a)) & 3); }},
      {"general output against servo-on", 2,
       [](uint16_t a, int v) {
         if (a == 0) k4160_write_outbit(0, 1, static_cast<uint16_t>(v & 1));
         else k4160_write_SEVON_PIN(0, static_cast<uint16_t>(v & 1));
       },
       [](uint16_t a) { return static_cast<int>(a == 0 ? k4160_read_outbit(0, 1) : k4160_read_SEVON_PIN(0)); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> lost{0};
    const auto drive = [&](uint16_t axis) {
      return [&, axis] {
        for (int i = 0; i < kWrites; ++i) {
          const int v = (i + axis) % c.values;
          c.set(axis, v);
          if (c.get(axis) != v) ++lost;
        }
      };
    };
    RunTogether({drive(0), drive(1)});
    EXPECT_EQ(lost.load(), 0);
  }
}

// Register accesses, emergency stops and resets racing init and close: an
// access that loses the race finds an empty slot, never a freed card.
TEST_F(HardeningThreaded, AccessesRacingCloseFindAnEmptySlot) {
  kpx4160_sim_set_card_count(2);
  kpx4160_sim_trace_enable(0);
  std::atomic<int> cycles{0};
  RunTogether(
      {[&] {
         while (!stop_) k4160_check_done(0);
       },
       [&] {
         while (!stop_) {
           k4160_emg_stop();
           write_dword_pld_register(1, 0x44, 0);
         }
       },
       [&] {
         while (!stop_) {
           k4160_board_init();
           k4160_board_close();
           ++cycles;
         }
       },
       [&] {
         while (!stop_) {
           k4160_board_init();
           k4160_board_close();
         }
       }},
      0.5);
  EXPECT_GT(cycles.load(), 0);
  ExpectNothingLeft(2);
}

// Interrupts switched off from the callback while application threads
// switch them on and off, and raised all along.
TEST_F(HardeningThreaded, InterruptTeardownFromEveryThread) {
  OpenCards(2);
  kpx4160_sim_trace_enable(0);
  static std::atomic<int> calls{0};
  k4160_set_board_isr([](uint16_t) {
    if (++calls % 2 == 0) k4160_set_int_disable();
  });
  RunTogether({[&] {
                 while (!stop_) k4160_set_int_enable(0), k4160_set_int_enable(1);
               },
               [&] {
                 while (!stop_) k4160_set_int_disable();
               },
               [&] {
                 while (!stop_) k4160_set_int_disable();
               },
               [&] {
                 while (!stop_) kpx4160_sim_raise_interrupt(0), kpx4160_sim_raise_interrupt(1);
               }},
              0.5);
  k4160_set_int_disable();
  k4160_set_board_isr(nullptr);
  EXPECT_GT(calls.load(), 0);
  for (unsigned c = 0; c < 2; ++c) EXPECT_EQ(kpx4160_sim_interrupt_enabled(c), 0);
  k4160_board_close();
  ExpectNothingLeft(2);
}

// Everything at once for a few seconds: four threads each driving its own
// axis of two cards (profiles, moves, stops, status, general outputs,
// servo-on), one switching interrupts on and off, one raising them, one
// making nested init/close calls. Each axis thread checks that its own
// output bits stay as it set them; at the end nothing is left running.
TEST_F(HardeningThreaded, StressEveryPathAtOnce) {
  OpenCards(2);
  kpx4160_sim_trace_enable(0);
  k4160_set_board_isr([](uint16_t card) { k4160_check_done(static_cast<uint16_t>(2 * card)); });
  std::atomic<int> lost{0};
  const auto axis_thread = [&](uint16_t axis) {
    return [&, axis] {
      const auto card = static_cast<uint16_t>(axis / 2);
      const auto outbit = static_cast<uint16_t>(1 + axis % 2);
      for (int i = 0; !stop_; ++i) {
        const auto on = static_cast<uint16_t>(i & 1);
        k4160_set_profile(axis, 100.0 + i % 7, 5000.0, 0.01, 0.02);
        (i % 3 == 0 ? k4160_t_pmove : k4160_s_pmove)(axis, 200 - i % 400, 0);
        k4160_write_outbit(card, outbit, on);
        k4160_write_SEVON_PIN(axis, on);
        k4160_check_done(axis);
        k4160_get_position(axis);
        if (i % 5 == 0) k4160_decel_stop(axis, 0.01); else if (i % 5 == 1) k4160_imd_stop(axis);
        if (k4160_read_outbit(card, outbit) != on || k4160_read_SEVON_PIN(axis) != on) ++lost;
      }
    };
  };
  RunTogether({axis_thread(0), axis_thread(1), axis_thread(2), axis_thread(3),
               [&] {
                 while (!stop_) k4160_set_int_enable(0), k4160_set_int_enable(1), k4160_set_int_disable();
               },
               [&] {
                 while (!stop_) kpx4160_sim_raise_interrupt(0), kpx4160_sim_raise_interrupt(1);
               },
               [&] {
                 while (!stop_) {
                   EXPECT_EQ(k4160_board_init(), 2u);
                   k4160_board_close();
                 }
               }},
              2.0);
  k4160_set_int_disable();
  k4160_set_board_isr(nullptr);
  EXPECT_EQ(lost.load(), 0);
  for (unsigned c = 0; c < 2; ++c) EXPECT_EQ(kpx4160_sim_interrupt_enabled(c), 0);
  k4160_board_close();
  ExpectNothingLeft(2);
}

}  // namespace
}  // namespace kpx::test
