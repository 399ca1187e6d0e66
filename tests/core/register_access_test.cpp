// Port sequences of the register accessors and the transfer path chosen per
// card when it is opened (direct loads and stores into a memory-mapped register
// space, driver transfer requests for an I/O space); hostile but legal calls
// that once crashed, read foreign memory or wrote the wrong thing; and several
// threads on the same cards at once (these run under ThreadSanitizer).
#include <atomic>
#include <functional>
#include <limits>
#include <thread>
#include <tuple>

#include "core/core_fixture.h"
#include "core/registers.h"

namespace kpx::test {
namespace {

class RegisterAccess : public SimTest {};

TEST_F(RegisterAccess, PortOrderOfEveryAccessor) {
  OpenCards(2);
  core::WritePclRegister32(0, 0, 0x81, 0xAAAA0001);
  kpx4160_sim_set_sub_status(1, 1, 0x0005);  // reads back with the terminal outputs' bits 4-6
  kpx4160_sim_set_pld_register(1, 0x74, 0xCAFEF00D);
  kpx4160_sim_trace_clear();
  // Chip axis 1: ports at 0xA0 (command), 0xA8 (OTPW/SSTSW), 0xB0 (low), 0xB8 (high); axis 0 at 0x80 up.
  core::WritePclRegister32(0, 8, 0x80, 0x12345678);
  EXPECT_EQ(core::ReadPclRegister32(0, 8, 0xC0), 0x12345678u);
  core::WritePclRegister16(0, 0, 0x82, 0x4321);  // leaves the data-high port alone
  EXPECT_EQ(core::ReadPclRegister16(0, 0, 0xC2), 0x4321u);
  write_word_pcl_otpw(1, 8, 0x00FF);
  EXPECT_EQ(read_word_pcl_sstsw(1, 8) & 0x7, 0x5u);
  EXPECT_EQ(read_dword_pld_register(1, 0x74), 0xCAFEF00Du);
  write_dword_pld_register(1, 0x44, 0x0000BEEF);
  k4160_write_pcl_register(1, 0, 0x9C, 0x01020304);
  EXPECT_EQ(k4160_read_pcl_register(1, 0, 0xDC), 0x01020304u);
  // Card, offset, value, width, write?
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>> ports;
  for (const kpx4160_sim_access &a : RawTrace()) ports.emplace_back(a.card, a.offset, a.value, a.width, a.is_write);
  EXPECT_EQ(ports, (decltype(ports){
      {0, 0xB0, 0x5678, 16, 1}, {0, 0xB8, 0x1234, 16, 1}, {0, 0xA0, 0x80, 16, 1},  // low, high, then code
      {0, 0xA0, 0xC0, 16, 1}, {0, 0xB8, 0x1234, 16, 0}, {0, 0xB0, 0x5678, 16, 0},  // code, high, then low
      {0, 0x90, 0x4321, 16, 1}, {0, 0x80, 0x82, 16, 1}, {0, 0x80, 0xC2, 16, 1}, {0, 0x90, 0x4321, 16, 0},
      {1, 0xA8, 0xFF, 16, 1}, {1, 0xA8, 0x75, 16, 0}, {1, 0x74, 0xCAFEF00D, 32, 0}, {1, 0x44, 0xBEEF, 32, 1},
      {1, 0x90, 0x0304, 16, 1}, {1, 0x98, 0x0102, 16, 1}, {1, 0x80, 0x9C, 16, 1},
      {1, 0x80, 0xDC, 16, 1}, {1, 0x98, 0x0102, 16, 0}, {1, 0x90, 0x0304, 16, 0}}));
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x82) >> 16, 0xAAAAu);
}

// The PLD decodes whole dwords: the card drops a dword write at an offset that is not a multiple
// of 4 and reads such a dword as 0; the simulated card counts both (and the fixture fails any test
// that makes one, so the count is cleared here).
TEST_F(RegisterAccess, MisalignedDwordPldAccessIsAnErrorOnTheCard) {
  OpenCards(1);
  const uint32_t outputs = kpx4160_sim_get_pld_register(0, 0x44);
  EXPECT_EQ(read_dword_pld_register(0, 0x61), 0u);
  write_dword_pld_register(0, 0x46, 0xFFFFFFFF);
  EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0x44), outputs);
  EXPECT_EQ(read_dword_pld_register(0, 0x60), 0x00010001u);
  EXPECT_EQ(kpx4160_sim_misaligned_accesses(), 2u);
  kpx4160_sim_reset();
}

// Before init, after close, on an empty slot, on card numbers from 16 up, at offsets past the
// 256-byte register space (mapped memory or port transfers): no access at all (not on this card,
// not on the next one) and every read 0.
TEST_F(RegisterAccess, AccessesOutsideTheCardsTouchNothing) {
  std::vector<std::function<uint32_t()>> calls;
  for (uint16_t card : {0, 1, 2, 15, 16, 0xFFFF})  // cards 0 and 1 only while closed
    calls.push_back([card] {
      write_dword_pld_register(card, 0x44, 1), k4160_write_pcl_register(card, 1, 0x80, 1);
      return read_dword_pld_register(card, 0x60) | read_word_pcl_sstsw(card, 0) | k4160_read_pcl_register(card, 0, 0xC0);
    });
  calls.insert(calls.end(), {
      [] { return write_word_pcl_otpw(0, 0xFFFF, 0xABCD), read_word_pcl_sstsw(0, 0xFFFF); },
      [] { return write_dword_pld_register(0, 0x144, 1), read_dword_pld_register(0, 0xFFFC); },  // 0x144: card 1's 0x44
      [] { return write_dword_pld_register(0, 0x1000, 1), write_dword_pld_register(0, 0xFE, 1), 0u; },
      [] { return k4160_write_pcl_register(0, 100, 0x80, 1), k4160_read_pcl_register(0, 100, 0xC0); }});
  kpx4160_sim_set_pld_register(0, 0x60, 0x11111111);
  for (int phase : {0, 1, 2, 3}) {  // before init, port transfers, mapped memory, after close
    const bool open = phase == 1 || phase == 2;
    kpx4160_sim_set_card_count(2);
    kpx4160_sim_set_register_space_memory(0, phase == 2);
    if (open) {
      ASSERT_EQ(k4160_board_init(), 2u);
    }
    write_dword_pld_register(1, 0x44, 0x12345678);  // reaches the card only while open
    for (size_t i = open ? 2 : 0; i < calls.size(); ++i) {
      kpx4160_sim_trace_clear();
      EXPECT_EQ(calls[i](), 0u) << i << " in phase " << phase;
      EXPECT_EQ(kpx4160_sim_trace_size(), 0u) << i << " in phase " << phase;
      EXPECT_TRUE(!open || kpx4160_sim_get_pld_register(1, 0x44) == 0x12345678u) << i << " in phase " << phase;
    }
    if (open) k4160_board_close();
  }
}

TEST_F(RegisterAccess, MemoryCardIsStoredDirectlyIoCardThroughRequests) {
  kpx4160_sim_set_card_count(2);
  kpx4160_sim_set_register_space_memory(1, 1);
  OpenCards(2);
  const uint64_t transfers = kpx4160_sim_request_count(device::kRequestTransfer);
  write_dword_pld_register(1, 0x44, 0xA5A50F0F);
  k4160_write_pcl_register(1, 1, 0x80, 0x00012345);
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestTransfer) - transfers + kpx4160_sim_trace_size(), 0u);
  // The 32-bit chip write is three 16-bit stores: low at 0xB0, high at 0xB8, code at 0xA0.
  for (auto [offset, value] : {std::pair{0x44u, 0xA5A50F0Fu}, {0xB0u, 0x2345u}, {0xB8u, 0x1u}, {0xA0u, 0x80u}})
    EXPECT_EQ(kpx4160_sim_read_window32(1, offset) & (offset == 0x44 ? ~0u : 0xFFFFu), value) << offset;
  EXPECT_EQ(read_dword_pld_register(1, 0x44), 0xA5A50F0Fu);
  // Card 0 is an I/O card: one transfer request per port access.
  write_dword_pld_register(0, 0x44, 0x1);
  EXPECT_EQ(k4160_read_pcl_register(0, 0, 0xC0), kpx4160_sim_get_pcl_register(0, 0, 0x80));
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestTransfer), transfers + 1 + 3);
  EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0x44), 0x1u);
}

TEST_F(RegisterAccess, HomeSearchOnTheLastCardAndPwmWithNaN) {
  OpenCards(16);
  for (uint16_t axis : {30, 31}) {  // axes 30 and 31 (card 15) home like any other axis
    kpx4160_sim_trace_clear();
    kpx4160_sim_set_pcl_register(15, axis & 1, 0x97, 0);
    k4160_home_move(axis, 2, 1);
    EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(15, 0x70, 0), PclRead(15, axis & 1, 0xD7, 0),
                                                       PclWrite32(15, axis & 1, 0x87, 0x18), Command(15, axis & 1, 0x53)}));
  }
  // NaN passes neither the frequency clamps nor the duty comparisons.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct { double frequency, duty; uint32_t period, high; } cases[] = {
      {nan, 0.25, 0x80000000u, 0xE0000000u} /* trunc(-2^31 x 0.25) */, {nan, 0.0, 0x80000000u, 1u},
      {nan, 1.0, 0x80000000u, 0x7FFFFFFFu} /* period - 1 */, {1000.0, nan, 33488u, 0x80000000u},
      {nan, nan, 0x80000000u, 0x80000000u}};
  for (const auto &c : cases) {
    EXPECT_EQ(k4160_config_PWM2_PIN(0, 1, c.frequency, c.duty), 0);
    EXPECT_EQ(std::pair(kpx4160_sim_get_pld_register(0, 0xD0), kpx4160_sim_get_pld_register(0, 0xD4)),
              std::pair(c.period, c.high)) << c.frequency << " Hz, duty " << c.duty;
  }
}

// Runs the bodies on threads of their own; they loop until `stop` is set after `seconds`.
void RunTogether(std::atomic<bool> &stop, const std::vector<std::function<void()>> &bodies, double seconds) {
  std::vector<std::thread> threads(bodies.begin(), bodies.end());
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (std::thread &t : threads) t.join();
}

class RegisterAccessThreaded : public SimTest {};

// Two threads, each writing its own field or register and reading it back: an interleaved port
// sequence would latch the other's data, an unlocked read-modify-write of a register both axes of
// a card share would undo the other's update.
TEST_F(RegisterAccessThreaded, NoLostUpdateBetweenTwoThreads) {
  OpenCards(1);
  kpx4160_sim_trace_enable(0);
  const struct { const char *name; int values; void (*set)(uint16_t i, uint16_t v); int (*get)(uint16_t i); } cases[] = {
      {"port sequences", 1 << 15, [](uint16_t i, uint16_t v) { core::WritePclRegister32(0, 0, 0xA0 + i, v * 0x10001u); },
       [](uint16_t i) {
         const uint32_t r = core::ReadPclRegister32(0, 0, 0xE0 + i);  // both halves must be this thread's
         return r % 0x10001 ? -1 : static_cast<int>(r / 0x10001);
       }},
      {"servo-on", 2, [](uint16_t a, uint16_t v) { k4160_write_SEVON_PIN(a, v); },
       [](uint16_t a) { return int{k4160_read_SEVON_PIN(a)}; }},
      {"counter configuration", 4, [](uint16_t a, uint16_t v) { k4160_counter_config(a, v); },
       [](uint16_t a) { return static_cast<int>((read_dword_pld_register(0, 0x40) >> (8 * a)) & 3); }},
      {"general output against servo-on", 2,
       [](uint16_t a, uint16_t v) { a == 0 ? k4160_write_outbit(0, 1, v) : k4160_write_SEVON_PIN(0, v); },
       [](uint16_t a) { return int{a == 0 ? k4160_read_outbit(0, 1) : k4160_read_SEVON_PIN(0)}; }}};
  for (const auto &c : cases) {
    std::atomic<int> lost{0};
    const auto drive = [&](uint16_t i) {
      return [&, i] {
        for (int n = 0; n < 20000; ++n) c.set(i, (n + i) % c.values), lost += c.get(i) != (n + i) % c.values;
      };
    };
    std::atomic<bool> stop{false};
    RunTogether(stop, {drive(0), drive(1)}, 0);
    EXPECT_EQ(lost.load(), 0) << c.name;
  }
}

// Register accesses, emergency stops and interrupts switched on, off (also from the callback) and
// raised, racing init and close on two threads: an access that loses the race finds an empty
// slot, and afterwards no thread, handle or wait is left.
TEST_F(RegisterAccessThreaded, AccessesAndInterruptsRacingInitAndClose) {
  OpenCards(2);
  kpx4160_sim_trace_enable(0);
  static std::atomic<int> calls{0};
  k4160_set_board_isr([](uint16_t card) {
    k4160_check_done(static_cast<uint16_t>(2 * card));
    if (++calls % 2 == 0) k4160_set_int_disable();
  });
  std::atomic<bool> stop{false};
  const auto cycle = [&] { while (!stop) k4160_board_init(), k4160_board_close(); };
  const auto toggle = [&] { while (!stop) k4160_set_int_enable(0), k4160_set_int_enable(1), k4160_set_int_disable(); };
  const auto access = [&] { while (!stop) k4160_check_done(0), k4160_emg_stop(), write_dword_pld_register(1, 0x44, 0); };
  RunTogether(stop, {access, toggle, toggle, cycle, [&] { while (!stop) kpx4160_sim_raise_interrupt(1); }}, 1.0);
  k4160_set_board_isr(nullptr);
  EXPECT_GT(calls.load(), 0);
  k4160_board_close();  // now the cycles release the cards
  stop = false;
  RunTogether(stop, {access, cycle, cycle}, 0.3);
  EXPECT_EQ(kpx4160_sim_open_handles() + core::InitCount, 0u);
  EXPECT_EQ(kpx4160_sim_interrupt_waiters(0) + kpx4160_sim_interrupt_waiters(1), 0u);
}

}  // namespace
}  // namespace kpx::test
