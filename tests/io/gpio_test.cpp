// General-purpose inputs and outputs: inputs 1-16 and outputs 1-14 are PLD
// port bits, inputs 17-20 are sub-status bits and outputs 15-20 are chip
// terminals, both spread over the two chip axes of a card.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>

#include "io/field_harness.h"
#include "io/io_mutex.h"

namespace kpx::test {
namespace {

class Gpio : public IoTest {};

// A port read: sub-status words of chip axis 1 then 0, once per bit taken from them, then the PLD port.
void ExpectPortRead(unsigned sub_status_reads, uint32_t offset) {
  const auto ops = DecodedTrace();
  ASSERT_EQ(ops.size(), sub_status_reads + 1);
  for (unsigned i = 0; i < sub_status_reads; ++i)
    EXPECT_EQ(std::make_tuple(ops[i].op, ops[i].card, ops[i].chip_axis), std::make_tuple(Op::kSstsw, 1u, 1u - i % 2)) << i;
  EXPECT_EQ(std::make_tuple(ops.back().op, ops.back().card, ops.back().code), std::make_tuple(Op::kPldRead, 1u, offset));
}

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
    for (uint16_t n = 1; n <= 20; ++n) EXPECT_EQ(k4160_read_inbit(1, n), c.port >> (n - 1) & 1) << "input " << n;
    EXPECT_EQ(k4160_read_inbit(1, 0), 255u);
    EXPECT_EQ(k4160_read_inbit(1, 21), 255u);
    kpx4160_sim_trace_clear();
    EXPECT_EQ(k4160_read_inport(1), c.port);
  }
  ExpectPortRead(4, 0x4C);  // sub-status bits 2 and 0
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
  kpx4160_sim_trace_clear();
  k4160_read_outport(1);
  ExpectPortRead(6, 0x44);  // sub-status bits 6, 5, 4: the terminals' state
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
