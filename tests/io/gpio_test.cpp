// General-purpose inputs and outputs: the bit-number map, the ports, the
// order of the sub-status reads and of the terminal commands.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "io/io_mutex.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class Gpio : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    OpenCards(2);
  }
};

std::vector<RegisterOp> Commands() { return Only(DecodedTrace(), Op::kCommand); }

TEST_F(Gpio, InputBitsAndPort) {
  kpx4160_sim_set_pld_register(1, 0x4C, 0xFFFF8421);   // bits 16-31 are not inputs
  kpx4160_sim_set_sub_status(1, 0, 0x0001);            // input 17
  kpx4160_sim_set_sub_status(1, 1, 0x0004);            // input 20
  kpx4160_sim_set_sub_status(0, 0, 0x0005);            // the other card: must not show
  const uint32_t want_bits[] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1};
  for (uint16_t n = 1; n <= 20; ++n) EXPECT_EQ(k4160_read_inbit(1, n), want_bits[n - 1]) << "input " << n;
  EXPECT_EQ(k4160_read_inbit(1, 0), 255u);
  EXPECT_EQ(k4160_read_inbit(1, 21), 255u);
  kpx4160_sim_set_sub_status(1, 0, 0x0004);  // input 19
  kpx4160_sim_set_sub_status(1, 1, 0x0001);  // input 18
  EXPECT_EQ(k4160_read_inbit(1, 18), 1u);
  EXPECT_EQ(k4160_read_inbit(1, 19), 1u);
  EXPECT_EQ(k4160_read_inbit(1, 17), 0u);

  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_read_inport(1), 0x8421u | (1u << 17) | (1u << 18));
  // Sub-status words: bit 2 of chip axis 1 then 0, then bit 0 of chip axis 1
  // then 0; then the PLD input port once.
  const auto ops = DecodedTrace();
  ASSERT_EQ(ops.size(), 5u);
  const uint32_t axes[] = {1, 0, 1, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ops[i].op, Op::kSstsw) << i;
    EXPECT_EQ(ops[i].card, 1u);
    EXPECT_EQ(ops[i].chip_axis, axes[i]) << i;
  }
  EXPECT_EQ(ops[4], PldRead(1, 0x4C, 0xFFFF8421));
}

TEST_F(Gpio, OutputBitsMapOntoPortBitsAndTerminalCommands) {
  kpx4160_sim_set_pld_register(1, 0x44, 0xFFFFFFFF);  // all PLD outputs off
  k4160_write_outbit(1, 13, 1);
  EXPECT_EQ(read_dword_pld_register(1, 0x44), 0xFFFFBFFFu);  // bit 14 cleared
  EXPECT_EQ(k4160_read_outbit(1, 13), 1);
  EXPECT_EQ(k4160_read_outbit(1, 14), 0);
  EXPECT_EQ(k4160_read_outbit(1, 12), 0);

  kpx4160_sim_trace_clear();
  for (uint16_t n = 15; n <= 20; ++n) k4160_write_outbit(1, n, 1);
  for (uint16_t n = 15; n <= 20; ++n) k4160_write_outbit(1, n, 0);
  k4160_write_outbit(1, 16, 2);   // not a value
  k4160_write_outbit(1, 21, 1);   // not an output
  EXPECT_EQ(Commands(), (std::vector<RegisterOp>{
                            Command(1, 0, 0x1C), Command(1, 1, 0x1C), Command(1, 0, 0x1D),
                            Command(1, 1, 0x1D), Command(1, 0, 0x1E), Command(1, 1, 0x1E),
                            Command(1, 0, 0x14), Command(1, 1, 0x14), Command(1, 0, 0x15),
                            Command(1, 1, 0x15), Command(1, 0, 0x16), Command(1, 1, 0x16)}));
  // Terminal writes read nothing back.
  EXPECT_TRUE(Only(DecodedTrace(), Op::kPldRead).empty());
  EXPECT_TRUE(Only(DecodedTrace(), Op::kSstsw).empty());

  // Read-back of outputs 15-20 is the terminal state of the right chip axis.
  k4160_write_outbit(1, 18, 1);  // chip axis 1, terminal 5
  for (uint16_t n = 15; n <= 20; ++n) EXPECT_EQ(k4160_read_outbit(1, n), n == 18 ? 1 : 0) << n;
  EXPECT_EQ(kpx4160_sim_get_sub_status(1, 1) & 0x70, 0x20u);
  EXPECT_EQ(k4160_read_outbit(1, 0), -1);
  EXPECT_EQ(k4160_read_outbit(1, 21), -1);
}

TEST_F(Gpio, WriteOutportCommandsAndPort) {
  kpx4160_sim_set_pld_register(1, 0x44, 0xABCD3000);  // servo-on bits and bits 16-31 set
  kpx4160_sim_trace_clear();
  k4160_write_outport(1, 0);
  EXPECT_EQ(read_dword_pld_register(1, 0x44), 0xABCDFFFFu);
  EXPECT_EQ(Commands(), (std::vector<RegisterOp>{Command(1, 0, 0x14), Command(1, 1, 0x14), Command(1, 0, 0x15),
                                                  Command(1, 1, 0x15), Command(1, 0, 0x16), Command(1, 1, 0x16)}));
  kpx4160_sim_trace_clear();
  k4160_write_outport(1, 0xFFF54000);  // bits 14, 16, 18 on; bits 20-31 ignored
  EXPECT_EQ(Commands(), (std::vector<RegisterOp>{Command(1, 0, 0x1C), Command(1, 1, 0x14), Command(1, 0, 0x1D),
                                                  Command(1, 1, 0x15), Command(1, 0, 0x1E), Command(1, 1, 0x16)}));
  EXPECT_EQ(read_dword_pld_register(0, 0x44), 0u) << "other card untouched";
}

TEST_F(Gpio, OutportRoundTripsEveryBit) {
  std::vector<uint32_t> values{0, 0xFFFFF, 0xAAAAA, 0x55555};
  for (unsigned k = 0; k < 20; ++k) {
    values.push_back(1u << k);
    values.push_back(0xFFFFFu & ~(1u << k));
  }
  for (uint32_t v : values) {
    k4160_write_outport(1, v);
    EXPECT_EQ(k4160_read_outport(1), v) << std::hex << v;
    for (uint16_t n = 1; n <= 20; ++n) EXPECT_EQ(k4160_read_outbit(1, n), static_cast<int32_t>(v >> (n - 1) & 1)) << n;
  }
  // Port read order: bit 6, 5, 4 of the sub-status, chip axis 1 before 0, then the PLD port.
  kpx4160_sim_trace_clear();
  k4160_read_outport(1);
  const auto ops = DecodedTrace();
  ASSERT_EQ(ops.size(), 7u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ops[i].chip_axis, i % 2 == 0 ? 1u : 0u) << i;
  EXPECT_EQ(ops[6].op, Op::kPldRead);
  EXPECT_EQ(ops[6].code, 0x44u);
}

TEST_F(Gpio, ServoOnReadyAndErc) {
  kpx4160_sim_set_pld_register(1, 0x44, 0xFFFFFFFF);
  k4160_write_SEVON_PIN(3, 1);  // chip axis 1 of card 1
  EXPECT_EQ(read_dword_pld_register(1, 0x44), 0x000FDFFFu);
  EXPECT_EQ(k4160_read_SEVON_PIN(3), 1);
  EXPECT_EQ(k4160_read_SEVON_PIN(2), 0);
  k4160_write_SEVON_PIN(2, 1);
  EXPECT_EQ(read_dword_pld_register(1, 0x44), 0x000FCFFFu);
  k4160_write_SEVON_PIN(3, 0);
  EXPECT_EQ(k4160_read_SEVON_PIN(3), 0);
  EXPECT_EQ(k4160_read_SEVON_PIN(2), 1);

  kpx4160_sim_set_sub_status(1, 1, 0x0002);  // RDY high: not ready
  kpx4160_sim_set_sub_status(1, 0, 0x000D);
  EXPECT_EQ(k4160_read_RDY_PIN(3), 0);
  EXPECT_EQ(k4160_read_RDY_PIN(2), 1);

  kpx4160_sim_trace_clear();
  k4160_write_ERC_PIN(3, 1);
  k4160_write_ERC_PIN(2, 0);
  k4160_write_ERC_PIN(2, 2);
  EXPECT_EQ(Commands(), (std::vector<RegisterOp>{Command(1, 1, 0x24), Command(1, 0, 0x25)}));
}

TEST_F(Gpio, ClosedLibraryReadsFromZeroRegisters) {
  CloseLibraryCompletely();
  EXPECT_EQ(k4160_read_inbit(0, 3), 0u);
  EXPECT_EQ(k4160_read_outbit(0, 3), 1);   // PLD outputs read 0: on
  EXPECT_EQ(k4160_read_outbit(0, 15), 0);  // terminal outputs off
  EXPECT_EQ(k4160_read_outport(0), 0x3FFFu);
  EXPECT_EQ(k4160_read_inbit(0, 40), 255u);
  EXPECT_EQ(k4160_read_outbit(16, 2), 1) << "card 16 addresses no card";
}

// Several threads switch their own output bits; each checks after every
// write that its bit holds what it wrote. A read-modify-write of OutputPort
// that is not serialised loses other threads' bits.
TEST_F(Gpio, ThreadedOutbitWritesLoseNoUpdate) {
  kpx4160_sim_trace_enable(0);
  k4160_write_outport(1, 0);
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  constexpr uint16_t kBits[kThreads][3] = {{1, 5, 9}, {2, 6, 13}, {3, 7, 14}, {4, 8, 12}};
  std::atomic<int> lost{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &lost, &kBits] {
      for (int r = 0; r < kRounds; ++r) {
        for (uint16_t n : kBits[t]) {
          const uint16_t v = static_cast<uint16_t>((r + n) & 1);
          k4160_write_outbit(1, n, v);
          if (k4160_read_outbit(1, n) != v) lost.fetch_add(1);
        }
      }
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(lost.load(), 0);
  // Last round: r = kRounds - 1 (odd), so bit n ends at (n + 1) & 1.
  uint32_t want = 0;
  for (const auto &bits : kBits)
    for (uint16_t n : bits) want |= static_cast<uint32_t>((kRounds - 1 + n) & 1) << (n - 1);
  EXPECT_EQ(k4160_read_outport(1) & 0x3FFF, want);
}

// The port functions wait for IoMutex: while another thread holds it (twice:
// it is re-entrant) an output write cannot get through, and it completes once
// the lock is released.
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
  EXPECT_FALSE(written.load()) << "the write ran while IoMutex was held";
  EXPECT_EQ(read_dword_pld_register(1, 0x44) & 0x4, 0x4u);
  io::IoMutex.unlock();
  io::IoMutex.unlock();
  writer.join();
  EXPECT_TRUE(written.load());
  EXPECT_EQ(k4160_read_outbit(1, 3), 1);
}

}  // namespace
}  // namespace kpx::test
