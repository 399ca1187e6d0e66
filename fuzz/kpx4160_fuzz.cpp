// Coverage-guided fuzzing of the whole exported API over simulated cards.
//
// One input is one session: it sets up the virtual bus (card count, driver
// faults, card layouts), initialises the library and then runs a sequence
// of exported calls (both command sets and the simulator's interface), each
// picked and fed from the input: axis and card numbers mostly in range and
// sometimes anywhere, doubles from a list of hostile values (NaN, infinities,
// huge, tiny, negative zero) or raw bits. Interrupts are raised and the
// callback switches them off now and then. The session ends with the
// library closed completely and the bus reset, so inputs do not depend on
// each other.
//
// The simulator runs on its virtual clock, so a blocking call costs no wall
// time while the card moves; a watchdog stops every axis (emergency stop)
// when one call still runs after kWatchdogMs (25 ms), which ends even a move
// of 2^31 pulses at one pulse a second. A call that still runs after
// kCloseAfterMs (an arc of a few hundred thousand chords) has the library
// closed under it: its remaining accesses then find no card and it ends at
// once, which also exercises calls racing k4160_board_close.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

#include "core/card_table.h"
#include "kpx4160.h"
#include "kpx4160_sim.h"

namespace {

constexpr int kWatchdogMs = 25;
constexpr int kCloseAfterMs = 1000;
constexpr size_t kMaxCallsPerInput = 64;

// Draws arguments from the input.
class Fuzz {
 public:
  static constexpr uint32_t kBufferElements = 64;

  explicit Fuzz(const uint8_t *data, size_t size) : in_(data, size) {}
  // While one lives, numbers are drawn from moderate sizes.
  class Moderate {
   public:
    explicit Moderate(Fuzz &f) : f_(f) { f_.moderate_ = true; }
    ~Moderate() { f_.moderate_ = false; }
    Moderate(const Moderate &) = delete;
    Moderate &operator=(const Moderate &) = delete;

   private:
    Fuzz &f_;
  };
  FuzzedDataProvider &In() { return in_; }

  // Mostly the axes and cards of a few simulated cards; sometimes anything.
  uint32_t Axis() { return in_.ConsumeBool() ? in_.ConsumeIntegralInRange<uint32_t>(0, 7) : in_.ConsumeIntegral<uint16_t>(); }
  uint32_t Card() { return in_.ConsumeBool() ? in_.ConsumeIntegralInRange<uint32_t>(0, 3) : in_.ConsumeIntegral<uint16_t>(); }
  uint32_t Word() { return in_.ConsumeBool() ? in_.ConsumeIntegralInRange<uint32_t>(0, 4) : in_.ConsumeIntegral<uint16_t>(); }
  uint32_t Small(uint32_t n) { return in_.ConsumeIntegralInRange<uint32_t>(0, n); }
  uint32_t Size() { return in_.ConsumeIntegralInRange<uint32_t>(0, kBufferElements); }
  int64_t Signed() { return moderate_ ? in_.ConsumeIntegralInRange<int32_t>(-4096, 4096) : in_.ConsumeIntegral<int32_t>(); }
  uint64_t Unsigned() { return moderate_ ? in_.ConsumeIntegralInRange<uint32_t>(0, 4096) : in_.ConsumeIntegral<uint32_t>(); }

  double Double() {
    if (moderate_) {
      // Finite only: a NaN or infinite coordinate converts to -2147483648
      // pulses, a radius of 2^31 and some 200000 chords.
      static constexpr double kSpecial[] = {0.0, -0.0, -1.0, 1e-9};
      if (in_.ConsumeIntegralInRange<int>(0, 3) == 0)
        return kSpecial[in_.ConsumeIntegralInRange<size_t>(0, std::size(kSpecial) - 1)];
      return in_.ConsumeFloatingPointInRange<double>(0.1, 10.0) * (in_.ConsumeBool() ? 1.0 : -1.0);
    }
    static constexpr double kHostile[] = {
        0.0, -0.0, 1.0, -1.0, 0.5, 100.0, 1000.0, 5000.0, 1e6, 2147483648.0, -2147483649.0, 1e300, -1e300,
        std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    switch (in_.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: return kHostile[in_.ConsumeIntegralInRange<size_t>(0, std::size(kHostile) - 1)];
      case 1: return in_.ConsumeFloatingPointInRange<double>(-1e5, 1e5);
      default: {
        const uint64_t bits = in_.ConsumeIntegral<uint64_t>();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
      }
    }
  }

  // A zeroed buffer for any count a call may take, or null where the call
  // says it handles null.
  template <typename T>
  T *Buffer(bool null_ok) {
    if (null_ok && in_.ConsumeIntegralInRange<int>(0, 7) == 0) return nullptr;
    auto &store = Store<T>();
    store.fill(T{});
    for (T &v : store) v = Element<T>();
    return store.data();
  }
  template <typename T>
  T *Array() { return Buffer<T>(false); }
  // Any value an enum parameter can hold, named or not.
  template <typename E>
  E Enum(int max) { return static_cast<E>(in_.ConsumeIntegralInRange<int>(0, max)); }
  void **Slot() {
    static void *slot = nullptr;
    return &slot;
  }
  k4160_board_isr_t Isr();
  k4160_board_isr_ex_t IsrEx();
  // A file the call may write: the null device, none, or one it cannot open.
  const char *Path() {
    static constexpr const char *kPaths[] = {"/dev/null", nullptr, "", "/nonexistent-kpx4160-fuzz/log.csv"};
    return kPaths[in_.ConsumeIntegralInRange<size_t>(0, std::size(kPaths) - 1)];
  }
  // Arcs start where the axes stand: from the origin their radius is the
  // moderate one drawn, not one of up to 2^31 pulses left by earlier moves.
  void AxesToOrigin() {
    for (uint16_t axis = 0; axis < 8; ++axis) k4160_set_position(axis, 0);
  }

 private:
  template <typename T>
  std::array<T, kBufferElements> &Store() {
    static std::array<T, kBufferElements> store[8];
    return store[next_store_++ % 8];
  }
  template <typename T>
  T Element() {
    if constexpr (std::is_same_v<T, double>) return Double();
    else if constexpr (std::is_integral_v<T>) return static_cast<T>(in_.ConsumeBool() ? Axis() : Unsigned());
    else return T{};
  }

  FuzzedDataProvider in_;
  unsigned next_store_ = 0;
  bool moderate_ = false;
};

// The application callback: reads a status, and now and then switches the
// interrupts off from the interrupt thread (which the library allows).
std::atomic<uint32_t> isr_calls{0};
void FuzzIsr(uint16_t card) {
  k4160_check_done(static_cast<uint16_t>(card * 2));
  if (++isr_calls % 3 == 0) k4160_set_int_disable();
}
k4160_board_isr_t Fuzz::Isr() { return in_.ConsumeBool() ? FuzzIsr : nullptr; }
// The extended callback does the same with what the handler read.
void FuzzIsrEx(uint16_t card, uint32_t, uint32_t, uint16_t, void *) { FuzzIsr(card); }
k4160_board_isr_ex_t Fuzz::IsrEx() { return in_.ConsumeBool() ? FuzzIsrEx : nullptr; }

struct Call {
  const char *name;
  void (*run)(Fuzz &F);
};
const Call kCalls[] = {
#include "api_calls.inc"
};

// Closes the library however often it was initialised (from the session's
// thread at the end, or from the watchdog under a call that runs too long).
void CloseCompletely() {
  k4160_set_int_disable();
  const std::lock_guard lifecycle(kpx::core::LifecycleLock());
  while (kpx::core::InitCount > 0) {
    // A nested init that found no card leaves CardCount at 0, so its close
    // releases nothing; the harness gives it one card to let go of.
    if (kpx::core::CardCount == 0) kpx::core::CardCount = 1;
    k4160_board_close();
  }
}

// Stops every axis when one call runs too long.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Run(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  void Enter() {
    std::lock_guard lock(mutex_);
    ++serial_;
    in_call_ = true;
    cv_.notify_all();
  }
  void Leave() {
    std::lock_guard lock(mutex_);
    in_call_ = false;
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (!in_call_) {
        cv_.wait(lock);
        continue;
      }
      const uint64_t serial = serial_;
      int waited_ms = 0;
      while (!cv_.wait_for(lock, std::chrono::milliseconds(kWatchdogMs),
                           [&] { return quit_ || !in_call_ || serial_ != serial; })) {
        waited_ms += kWatchdogMs;
        lock.unlock();
        if (waited_ms < kCloseAfterMs) {
          k4160_emg_stop();
        } else {
          CloseCompletely();
        }
        lock.lock();
      }
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  bool in_call_ = false, quit_ = false;
  uint64_t serial_ = 0;
  std::thread thread_;
};

// The faults and layouts a session starts with.
void SetUpBus(Fuzz &F) {
  FuzzedDataProvider &in = F.In();
  kpx4160_sim_reset();
  kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 1e-3);  // a poll moves time on by 1 ms
  kpx4160_sim_trace_enable(0);
  const unsigned cards = in.ConsumeIntegralInRange<unsigned>(0, 3);
  kpx4160_sim_set_card_count(cards);
  if (in.ConsumeIntegralInRange<int>(0, 7) != 0) return;  // mostly a healthy bus
  kpx4160_sim_set_driver_absent(in.ConsumeIntegralInRange<int>(0, 3) == 0);
  kpx4160_sim_set_driver_version(in.ConsumeBool() ? 1230 : in.ConsumeIntegral<uint16_t>());
  kpx4160_sim_set_scan_status(in.ConsumeBool() ? 0 : in.ConsumeIntegral<uint32_t>());
  for (unsigned c = 0; c < cards; ++c) {
    kpx4160_sim_set_resources(c, static_cast<kpx4160_sim_resources>(in.ConsumeIntegralInRange<int>(0, 5)));
    kpx4160_sim_set_register_space_memory(c, in.ConsumeBool());
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) kpx4160_sim_set_card_info_status(c, 0x2000000F);
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) kpx4160_sim_set_registration_status(c, 0x20000019);
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) kpx4160_sim_set_interrupt_enable_status(c, 0x2000000C);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static Watchdog watchdog;
  Fuzz F(data, size);
  SetUpBus(F);
  k4160_board_init();
  for (size_t i = 0; i < kMaxCallsPerInput && F.In().remaining_bytes() > 0; ++i) {
    const Call &call = kCalls[F.In().ConsumeIntegralInRange<size_t>(0, std::size(kCalls) - 1)];
    watchdog.Enter();
    call.run(F);
    watchdog.Leave();
  }
  watchdog.Enter();  // closing waits for moves and threads too
  CloseCompletely();
  k4160_set_board_isr(nullptr);
  kpx4160_sim_reset();
  watchdog.Leave();
  return 0;
}
