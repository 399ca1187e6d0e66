// General-purpose inputs and outputs: inputs 1-16 and outputs 1-14 are PLD
// port bits, inputs 17-20 are sub-status bits and outputs 15-20 are chip
// terminals, both spread over the two chip axes of a card.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "io/field_harness.h"
#include "io/io_mutex.h"

namespace kpx::test {
namespace {

class Gpio : public IoTest {};

TEST_F(Gpio, InputsFromThePldPortAndTheSubStatus) {
  struct Case {
    uint32_t pld;           // input port; bits 16-31 are not inputs
    uint16_t sub0, sub1;    // sub-status of chip axis 0 and 1: bit 0 is input 17/18, bit 2 input 19/20
    uint32_t port;
  } const cases[] = {
      {0xFFFF8421, 0x0001, 0x0004, 0x8421 | B(16) | B(19)},
      {0x00017BDE, 0x0004, 0x0001, 0x7BDE | B(17) | B(18)},
      {0x0000FFFF, 0xFFFA, 0xFFFA, 0xFFFF},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.pld);
    kpx4160_sim_set_pld_register(1, 0x4C, c.pld);
    kpx4160_sim_set_sub_status(1, 0, c.sub0);
    kpx4160_sim_set_sub_status(1, 1, c.sub1);
    kpx4160_sim_set_pld_register(0, 0x4C, ~c.pld);  // the other card must not show
    kpx4160_sim_set_sub_status(0, 0, static_cast<uint16_t>(~c.sub0));
    kpx4160_sim_set_sub_status(0, 1, static_cast<uint16_t>(~c.sub1));
    for (uint16_t n = 1; n <= 20; ++n) EXPECT_EQ(k4160_read_inbit(1, n), c.port >> (n - 1) & 1) << "input " << n;
    EXPECT_EQ(k4160_read_inbit(1, 0), 255u);
    EXPECT_EQ(k4160_read_inbit(1, 21), 255u);
    kpx4160_sim_trace_clear();
    EXPECT_EQ(k4160_read_inport(1), c.port);
  }
  // The port read: sub-status of chip axis 1 then 0 (bit 2), again (bit 0), then the PLD port.
  const auto ops = DecodedTrace();
  ASSERT_EQ(ops.size(), 5u);
  for (unsigned i = 0; i < 4; ++i) EXPECT_EQ(std::make_tuple(ops[i].op, ops[i].card, ops[i].chip_axis),
                                             std::make_tuple(Op::kSstsw, 1u, 1u - i % 2)) << i;
  EXPECT_EQ(ops[4], PldRead(1, 0x4C, 0xFFFF));
}

TEST_F(Gpio, OutputsRoundTripThroughThePortAndTheTerminals) {
  std::vector<uint32_t> values{0, 0xFFFFF, 0xAAAAA, 0x55555};
  for (unsigned k = 0; k < 20; ++k) values.insert(values.end(), {1u << k, 0xFFFFFu & ~(1u << k)});
  for (uint32_t v : values) {
    k4160_write_outport(1, v);
    EXPECT_EQ(k4160_read_outport(1), v) << std::hex << v;
    for (uint16_t n = 1; n <= 20; ++n) EXPECT_EQ(k4160_read_outbit(1, n), static_cast<int32_t>(v >> (n - 1) & 1)) << n;
    k4160_write_outport(0, ~v);
  }
  EXPECT_EQ(k4160_read_outbit(1, 0), -1);
  EXPECT_EQ(k4160_read_outbit(1, 21), -1);
  // Read order: sub-status bits 6, 5, 4 (terminal state), chip axis 1 before 0, then the PLD port.
  kpx4160_sim_trace_clear();
  k4160_read_outport(1);
  const auto ops = DecodedTrace();
  ASSERT_EQ(ops.size(), 7u);
  for (unsigned i = 0; i < 6; ++i) EXPECT_EQ(std::make_tuple(ops[i].op, ops[i].card, ops[i].chip_axis),
                                             std::make_tuple(Op::kSstsw, 1u, 1u - i % 2)) << i;
  EXPECT_EQ(std::make_tuple(ops[6].op, ops[6].code), std::make_tuple(Op::kPldRead, 0x44u));
}

TEST_F(Gpio, ClosedLibraryReadsFromZeroRegisters) {
  CloseLibraryCompletely();
  EXPECT_EQ(k4160_read_inbit(0, 3), 0u);
  EXPECT_EQ(k4160_read_outbit(0, 3), 1);   // PLD outputs read 0: on
  EXPECT_EQ(k4160_read_outbit(0, 15), 0);  // terminal outputs off
  EXPECT_EQ(k4160_read_outport(0), 0x3FFFu);
  EXPECT_EQ(k4160_read_inbit(0, 40), 255u);
  EXPECT_EQ(k4160_read_outbit(16, 2), 1) << "card 16 addresses no card";
  EXPECT_EQ(k4160_get_latch_flag(1), 0xFFu);
  EXPECT_EQ(k4160_read_CMP_PIN(0), 1);
}

// Several threads switch their own output bits, each checking after every
// write that its bit holds what it wrote: a read-modify-write of the output
// port that is not serialised loses other threads' bits.
TEST_F(Gpio, ThreadedOutbitWritesLoseNoUpdate) {
  kpx4160_sim_trace_enable(0);
  k4160_write_outport(1, 0);
  constexpr uint16_t kBits[4][3] = {{1, 5, 9}, {2, 6, 13}, {3, 7, 14}, {4, 8, 12}};
  std::atomic<int> lost{0};
  std::vector<std::thread> threads;
  for (const auto &bits : kBits)
    threads.emplace_back([&bits, &lost] {
      for (int r = 0; r < 2000; ++r)
        for (uint16_t n : bits) {
          k4160_write_outbit(1, n, static_cast<uint16_t>((r + n) & 1));
          if (k4160_read_outbit(1, n) != ((r + n) & 1)) lost.fetch_add(1);
        }
    });
  for (auto &th : threads) th.join();
  EXPECT_EQ(lost.load(), 0);
  // The last round (r = 1999) leaves outputs 2, 4, 6, 8, 12 and 14 on; 10 and 11 were never switched.
  EXPECT_EQ(k4160_read_outport(1) & 0x3FFF, 0x28AAu);
}

// The port functions wait for the io mutex (re-entrant: held twice here) and
// get through once it is released.
TEST_F(Gpio, ThreadedPortFunctionsWaitForIoMutex) {
  k4160_write_outport(1, 0);
  std::atomic<bool> written{false};
  io::IoMutex.lock();
  io::IoMutex.lock();
  std::thread writer([&written] {
    k4160_write_outbit(1, 3, 1);
    written.store(true);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(written.load()) << "the write ran while the io mutex was held";
  EXPECT_EQ(read_dword_pld_register(1, 0x44) & 0x4, 0x4u);
  io::IoMutex.unlock();
  io::IoMutex.unlock();
  writer.join();
  EXPECT_EQ(k4160_read_outbit(1, 3), 1);
}

}  // namespace
}  // namespace kpx::test
