// The cards' lifecycle and registers: opening, resetting and closing the cards
// and the default state the opening leaves every card, axis and the vector
// profile in; the card's identity; the port sequences of the register
// accessors and the transfer path chosen per card when it is opened (direct
// loads and stores into a memory-mapped register space, driver transfer
// requests for an I/O space); hostile but legal calls that once crashed, read
// foreign memory or wrote the wrong thing; several threads on the same cards
// at once (these run under ThreadSanitizer). All read from the register traffic.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/board.h"
#include "core/card_table.h"
#include "core/registers.h"
#include "core/transfer.h"
#include "device/driver_records.h"
#include "device/error_text.h"
#include "motion/axis_profile.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

using BoardLifecycle = SimTest;

// True when `want` appears in `ops` in order, other operations allowed in between.
bool InOrderWithin(const std::vector<RegisterOp> &ops, const std::vector<RegisterOp> &want) {
  size_t next = 0;
  for (const RegisterOp &o : ops) next += next < want.size() && o == want[next];
  return next == want.size();
}

// Per card: the PLD start-up writes (or the reset command), the latch mode's read-modify-write of
// PldConfig, then per chip axis the signal configurations, SignalConfig2 read back after its first write.
std::vector<RegisterOp> Startup(uint32_t cards, bool reset) {
  const uint32_t sc2 = 0x00440000, v = (sc2 & ~0x1FBFu) | 0x40;
  std::vector<RegisterOp> w;
  for (uint32_t c = 0; c < cards; ++c) {
    if (reset) w.push_back(Command(c, 0, 0x0F04));
    else w.insert(w.end(), {PldWrite(c, 0x78, 0x8F), PldWrite(c, 0x40, 0x38383838), PldRead(c, 0x78, 0x8F)});
    for (uint32_t a = 0; a < 2; ++a)
      w.insert(w.end(), {PclWrite32(c, a, 0x9C, 0x0C151000), PclWrite32(c, a, 0x9D, sc2), PclRead(c, a, 0xDD, sc2),
                         PclWrite32(c, a, 0x9D, v), PclWrite32(c, a, 0x9D, v | 0xD40)});
  }
  return w;
}

// Magnification, start, max, accel, decel, range mode, count source, pulse equivalent.
using Record = std::tuple<int, int, int, int, int, int, int, double>;
Record RecordOf(uint16_t axis) {
  const motion::AxisProfile &p = *motion::ProfileFor(axis);
  return {p.magnification, p.start_speed,  p.max_speed,    p.accel_rate,
          p.decel_rate,    p.range_mode, p.count_source, p.pulse_equivalent};
}
const Record kDefaultRecord{1199, 1000, 2000, 982, 982, 0, 0, 1.0};

TEST_F(BoardLifecycle, InitWritesStartupRegistersAndDefaultsInOrder) {
  motion::ClearAllProfiles();  // profile records outlive a test
  kpx4160_sim_set_card_count(2);
  motion::AxisProfile &leftover = *motion::ProfileFor(3);  // an earlier program's
  std::tie(leftover.range_mode, leftover.count_source, leftover.pulse_equivalent) = std::tuple(1, 7, 4.0);
  kpx4160_sim_set_pcl_register(1, 1, 0x97, 0xFFFFFFFF);
  ASSERT_EQ(k4160_board_init(), 2u);
  EXPECT_TRUE(InOrderWithin(DecodedTrace(), Startup(2, false)));
  for (uint16_t axis = 0; axis < 4; ++axis) EXPECT_EQ(RecordOf(axis), kDefaultRecord) << axis;
  const motion::VectorProfile &v = motion::TheVectorProfile();
  EXPECT_EQ(std::tie(v.start_speed, v.max_speed, v.accel_time, v.decel_time), std::tuple(1000.0, 5000.0, 0.1, 0.1));
  // The operation mode's sync mode (bits 18-19) and sync flags (24-25) are cleared; outputs 15-20 read back on.
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x97) & 0x030C0000u, 0u);
  EXPECT_EQ(k4160_read_outport(1) & 0xFC000u, 0xFC000u);
  // From a register with every bit set, InitSignalConfig2 keeps bits 13-31 and bit 6, clears bits
  // 0-5 and 7-12; the second write adds bits 8, 10 and 11.
  kpx4160_sim_set_pcl_register(0, 1, 0x9D, ~0u);
  kpx4160_sim_trace_clear();
  core::InitSignalConfig2(0, 1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclRead(0, 1, 0xDD, ~0u), PclWrite32(0, 1, 0x9D, 0xFFFFE040),
                                                    PclWrite32(0, 1, 0x9D, 0xFFFFED40)}));
  // A reset rewrites the signal configuration after each card's reset command, restores speed range
  // and pulse equivalent, and leaves the PLD and the rest of the profile alone.
  k4160_variety_speed_range(0, 1, 100000.0);  // fixed range
  k4160_set_profile(0, 500.0, 3000.0, 0.2, 0.3);
  k4160_set_equiv(0, 2.5);
  Set_cnt_src(0, 1);
  Record want = RecordOf(0);
  std::get<5>(want) = 0, std::get<7>(want) = 1.0;
  kpx4160_sim_trace_clear();
  k4160_board_reset();
  EXPECT_EQ(DecodedTrace().front(), Command(0, 0, 0x0F04));
  EXPECT_TRUE(Only(DecodedTrace(), Op::kPldWrite).empty());
  EXPECT_TRUE(InOrderWithin(DecodedTrace(), Startup(2, true)));
  EXPECT_EQ(RecordOf(0), want);
}

TEST_F(BoardLifecycle, NestedInitAndCloseCount) {
  kpx4160_sim_set_card_count(2);
  ASSERT_EQ(k4160_board_init(), 2u);
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_board_init(), 2u);  // already initialised: opens nothing
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestCardRegister), 2u);
  EXPECT_EQ(core::InitCount, 2u);
  k4160_board_close();  // matches the second init: releases nothing
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  EXPECT_NE(read_dword_pld_register(0, 0x60), 0u);
  // A nested init whose scan finds fewer cards lowers the count; the last close still releases every
  // card, after an emergency stop of each card the count covers.
  kpx4160_sim_set_card_count(1);
  EXPECT_EQ(k4160_board_init(), 1u);
  k4160_board_close();
  kpx4160_sim_set_card_count(2);  // the second card still answers on the bus: it gets no stop
  kpx4160_sim_trace_clear();
  k4160_board_close();
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{Command(0, 0, 0x0F05)}));
  EXPECT_EQ(kpx4160_sim_open_handles() + core::CardCount + core::InitCount + read_dword_pld_register(0, 0x60), 0u);
  for (uint16_t i = 0; i < core::kCardTableSize; ++i) EXPECT_EQ(core::CardTable[i].load(), nullptr);
  k4160_board_close();  // closing again does nothing
  ASSERT_EQ(k4160_board_init(), 2u);  // a new init starts from scratch
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestCardRegister), 4u);
}

TEST_F(BoardLifecycle, FailedSecondCardLeavesTheFirstOpenAndInitialised) {
  motion::ClearAllProfiles();
  kpx4160_sim_set_card_count(2);
  kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NO_INTERRUPT);
  EXPECT_EQ(k4160_board_init(), 1002u);
  // The error text reaches the application whole or truncated, with its full length returned.
  const std::string message = "Card does not have all items expected for KPX4X60\n";
  char text[64];
  for (auto [size, copied] : {std::pair{64u, message}, {7u, message.substr(0, 6)}, {1u, std::string()}, {0u, "x"}}) {
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(k4160_get_error_text(text, size), static_cast<int32_t>(message.size())) << size;
    EXPECT_EQ(std::string(text, copied.size() + 1), copied + (size ? '\0' : 'x')) << size;  // size 0 writes nothing
  }
  EXPECT_EQ(k4160_get_error_text(nullptr, 10), -1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x9D), 0x00440D40u);  // card 0 fully set up
  EXPECT_EQ(kpx4160_sim_get_pld_register(1, 0x78), 0u);              // card 1 untouched
  EXPECT_EQ(RecordOf(1), kDefaultRecord);
  EXPECT_EQ(RecordOf(2), Record{});  // card 1's axes and the vector profile got nothing
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 0.0);
  EXPECT_EQ(k4160_board_init(), 2u);  // register access stays enabled; another init retries nothing
  EXPECT_EQ(core::CardTable[1].load(), nullptr);
  CloseLibraryCompletely();
  kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NORMAL);  // after a full close the next init retries it
  EXPECT_EQ(k4160_board_init(), 2u);
  EXPECT_NE(core::CardTable[1].load(), nullptr);
  CloseLibraryCompletely();
  kpx4160_sim_set_card_count(18);  // more cards than the table holds: 16 opened
  EXPECT_EQ(k4160_board_init(), 16u);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 16u);
  EXPECT_EQ(kpx4160_sim_get_pld_register(15, 0x78), 0x8Fu);  // the sixteenth card set up as well
}

TEST_F(BoardLifecycle, IdentificationWords) {
  uint32_t a = 7, b = 7, word = 0, product = 0, firmware = 0, info[5] = {};
  char sn[10];
  EXPECT_EQ(k4160_get_lib_version(&a, &b) + k4160_get_sn(20, sn), 0);
  EXPECT_EQ(std::tuple(a, b, std::string(sn, 8)), std::tuple(10000u, 10001u, "VEV00000"));  // no card 20: reads 0
  OpenCards(1);
  kpx4160_sim_set_pld_register(0, 0x60, 0xDEAD3A7F);  // serial from the low 16 bits only
  for (unsigned i = 0; i < 5; ++i) kpx4160_sim_set_pld_register(0, 0x64 + 4 * i, 0x44434241u + i);
  std::memset(sn, '#', sizeof sn);
  EXPECT_EQ(k4160_get_sn(0, sn) + k4160_read_password(0, &word) + k4160_read_company_information(0, info), 0);
  EXPECT_EQ(std::tuple(std::string(sn, 9), word), std::tuple("VEV03A7F#", 0xDEAD3A7Fu));  // no terminating zero
  EXPECT_EQ(std::vector<uint32_t>(info, info + 5),  // each word byte-reversed
            (std::vector<uint32_t>{0x41424344, 0x42424344, 0x43424344, 0x44424344, 0x45424344}));
  // Firmware from the three low characters of 0x74 ('2' '.' '5' is 2.50); byte 3 is ignored.
  for (auto [version, expected] : {std::pair{0xFF322E35u, 250u}, {0x00323035u, 205u}}) {
    kpx4160_sim_set_pld_register(0, 0x74, version);
    EXPECT_EQ(k4160_get_hard_version(0, &product, &firmware, nullptr, sn), 0);
    EXPECT_EQ(std::tuple(product, firmware, std::string(sn, 8)), std::tuple(4160u, expected, "VEV03A7F"));
  }
  EXPECT_EQ(k4160_get_sn(0, nullptr) + k4160_read_password(0, nullptr) + k4160_read_company_information(0, nullptr) +
                k4160_get_hard_version(0, nullptr, &firmware, nullptr, sn) + k4160_get_lib_version(&a, nullptr) +
                k4160_get_hard_version(0, &product, nullptr, nullptr, sn) + k4160_get_lib_version(nullptr, &b), -7);
}

using RegisterAccess = BoardLifecycle;

TEST_F(RegisterAccess, PortOrderOfEveryAccessor) {
  OpenCards(2);
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
  // Card, offset, value, width, write?
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>> ports;
  for (const kpx4160_sim_access &a : RawTrace()) ports.emplace_back(a.card, a.offset, a.value, a.width, a.is_write);
  EXPECT_EQ(ports, (decltype(ports){
      {0, 0xB0, 0x5678, 16, 1}, {0, 0xB8, 0x1234, 16, 1}, {0, 0xA0, 0x80, 16, 1},  // low, high, then code
      {0, 0xA0, 0xC0, 16, 1}, {0, 0xB8, 0x1234, 16, 0}, {0, 0xB0, 0x5678, 16, 0},  // code, high, then low
      {0, 0x90, 0x4321, 16, 1}, {0, 0x80, 0x82, 16, 1}, {0, 0x80, 0xC2, 16, 1}, {0, 0x90, 0x4321, 16, 0},
      {1, 0xA8, 0xFF, 16, 1}, {1, 0xA8, 0x75, 16, 0}, {1, 0x74, 0xCAFEF00D, 32, 0}, {1, 0x44, 0xBEEF, 32, 1},
      {1, 0x90, 0x0304, 16, 1}, {1, 0x98, 0x0102, 16, 1}, {1, 0x80, 0x9C, 16, 1}}));
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
  for (uint16_t c : {0, 1, 2, 15, 16, 0xFFFF})  // cards 0 and 1 only while closed
    calls.push_back([c] {
      write_dword_pld_register(c, 0x44, 1), k4160_write_pcl_register(c, 1, 0x80, 1);
      return read_dword_pld_register(c, 0x60) | read_word_pcl_sstsw(c, 0) | k4160_read_pcl_register(c, 0, 0xC0);
    });
  calls.insert(calls.end(), {
      [] { return write_word_pcl_otpw(0, 0xFFFF, 0xABCD), read_word_pcl_sstsw(0, 0xFFFF); },
      [] { return write_dword_pld_register(0, 0x144, 1), read_dword_pld_register(0, 0xFFFC); },  // 0x144: card 1's 0x44
      [] { return write_dword_pld_register(0, 0x1000, 1), write_dword_pld_register(0, 0xFE, 1), 0u; },
      [] { return k4160_write_pcl_register(0, 100, 0x80, 1), k4160_read_pcl_register(0, 100, 0xC0); },
      [] {  // a base address register past the six a PCI function has
        device::CardRecord *card = core::CardTable[0].load();
        if (card != nullptr) core::WriteSpace32(*card, 6, 0x44, 1), core::WriteSpace16(*card, 6, 0x44, 1);
        return card == nullptr ? 0u : core::ReadSpace32(*card, 6, 0x60) | core::ReadSpace16(*card, 6, 0x60);
      }});
  kpx4160_sim_set_pld_register(0, 0x60, 0x11111111);
  for (int phase : {0, 1, 2, 3}) {  // before init, port transfers, mapped memory, after close
    const bool open = phase == 1 || phase == 2;
    kpx4160_sim_set_card_count(2);
    kpx4160_sim_set_register_space_memory(0, phase == 2);
    EXPECT_EQ(open ? k4160_board_init() : 2u, 2u);
    write_dword_pld_register(1, 0x44, 0x12345678);  // reaches the card only while open
    for (size_t i = open ? 2 : 0; i < calls.size(); ++i) {
      kpx4160_sim_trace_clear();
      EXPECT_EQ(calls[i](), 0u) << i << " in phase " << phase;
      EXPECT_EQ(kpx4160_sim_trace_size(), 0u) << i << " in phase " << phase;
      EXPECT_TRUE(!open || kpx4160_sim_get_pld_register(1, 0x44) == 0x12345678u) << i << " in phase " << phase;
    }
    // A memory card is stored directly: the 32-bit chip write is three 16-bit stores, low at 0x90,
    // high at 0x98, code at 0x80; an I/O card takes one transfer request per port access.
    const uint64_t transfers = kpx4160_sim_request_count(device::kRequestTransfer);
    k4160_write_pcl_register(0, 0, 0x81, 0x00012345);
    EXPECT_EQ(kpx4160_sim_request_count(device::kRequestTransfer) - transfers, phase == 1 ? 3u : 0u);
    for (auto [offset, value] : {std::pair{0x90u, 0x2345u}, {0x98u, 0x1u}, {0x80u, 0x81u}})
      EXPECT_TRUE(phase != 2 || (kpx4160_sim_read_window32(0, offset) & 0xFFFF) == value) << offset;
    if (open) k4160_board_close();
  }
}

TEST_F(RegisterAccess, HomeSearchOnTheLastCard) {
  OpenCards(16);
  for (uint32_t k : {0u, 1u}) {  // axes 30 and 31 (card 15) home like any other axis
    kpx4160_sim_trace_clear();
    kpx4160_sim_set_pcl_register(15, k, 0x97, 0);
    k4160_home_move(static_cast<uint16_t>(30 + k), 2, 1);
    EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(15, 0x70, 0), PclRead(15, k, 0xD7, 0),
                                                       PclWrite32(15, k, 0x87, 0x18), Command(15, k, 0x53)}));
  }
}

using RegisterAccessThreaded = BoardLifecycle;

// Two threads, each writing its own field of a register both axes of a card share and reading it
// back: an unlocked read-modify-write, or an interleaved port sequence, would undo the other's update.
TEST_F(RegisterAccessThreaded, NoLostUpdateBetweenTwoThreads) {
  OpenCards(1);
  kpx4160_sim_trace_enable(0);
  const struct { const char *name; int values; void (*set)(uint16_t, uint16_t); int (*get)(uint16_t); } cases[] = {
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
    std::thread t0(drive(0)), t1(drive(1));
    t0.join(), t1.join();
    EXPECT_EQ(lost.load(), 0) << c.name;
  }
  // The pulse output mode's read-modify-write of SignalConfig1 against a locked counter kept in
  // the register's top half: a mode write between its read and its write would lose counts.
  kpx4160_sim_set_pcl_register(0, 0, 0xDC, 0);
  std::atomic<bool> done{false};
  std::thread modes([&] {
    for (uint16_t m = 0; !done; m = static_cast<uint16_t>((m + 1) & 7)) k4160_set_pulse_outmode(0, m);
  });
  for (uint32_t i = 0; i < 20000; ++i) {
    core::RegisterTransaction held;
    core::WritePclRegister32(0, 0, 0x9C, core::ReadPclRegister32(0, 0, 0xDC) + 0x10000);
  }
  done = true;
  modes.join();
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x9C) >> 16, 20000u);
}

// Everything at once for two seconds: a thread per axis of two cards driving its own axis and
// checking its own output bits, two threads switching interrupts on and off while the callback
// switches them off too, one raising interrupts, one opening and closing the library (accesses
// that lose that race find an empty slot). Afterwards no thread, handle or wait is left.
TEST_F(RegisterAccessThreaded, EveryPathAtOnceLeavesNothingBehind) {
  OpenCards(2);
  kpx4160_sim_trace_enable(0);
  static std::atomic<int> calls{0};
  k4160_set_board_isr([](uint16_t card) {
    k4160_check_done(static_cast<uint16_t>(2 * card));
    if (++calls % 2 == 0) k4160_set_int_disable();
  });
  std::atomic<bool> stop{false};
  std::atomic<int> lost{0};
  std::vector<std::thread> threads;
  for (uint16_t axis = 0; axis < 4; ++axis) {
    threads.emplace_back([&, axis] {
      const auto card = static_cast<uint16_t>(axis / 2), bit = static_cast<uint16_t>(1 + axis % 2);
      for (int i = 0; !stop; ++i) {
        const auto on = static_cast<uint16_t>(i & 1);
        k4160_set_profile(axis, 100.0 + i % 7, 5000.0, 0.01, 0.02);
        (i % 3 == 0 ? k4160_t_pmove : k4160_s_pmove)(axis, 200 - i % 400, 0);
        k4160_write_outbit(card, bit, on);
        k4160_write_SEVON_PIN(axis, on);
        if (i % 2) k4160_imd_stop(axis); else k4160_decel_stop(axis, 0.01);
        lost += k4160_read_outbit(card, bit) != on || k4160_read_SEVON_PIN(axis) != on;
      }
    });
  }
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&] { while (!stop) k4160_set_int_enable(0), k4160_set_int_enable(1), k4160_set_int_disable(); });
  threads.emplace_back([&] { while (!stop) kpx4160_sim_raise_interrupt(0), kpx4160_sim_raise_interrupt(1); });
  threads.emplace_back([&] {
    while (!stop) {
      EXPECT_EQ(k4160_board_init(), 2u);
      k4160_board_close();
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  stop = true;
  for (std::thread &t : threads) t.join();
  k4160_set_int_disable();
  k4160_set_board_isr(nullptr);
  EXPECT_GT(calls.load(), 0);
  EXPECT_EQ(lost.load(), 0);
  for (unsigned c = 0; c < 2; ++c) EXPECT_EQ(kpx4160_sim_interrupt_enabled(c), 0);
  k4160_board_close();
  EXPECT_EQ(core::InitCount, 0u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  for (unsigned c = 0; c < 2; ++c) EXPECT_EQ(kpx4160_sim_interrupt_waiters(c), 0u);
}

}  // namespace
}  // namespace kpx::test
