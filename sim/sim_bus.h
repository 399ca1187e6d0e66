// The virtual PCI bus: the simulated cards, the simulated driver's state
// (handles, registrations, faults, interrupts) and the access trace. One
// instance per process, guarded by its mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kpx4160_sim.h"
#include "sim/clock.h"
#include "sim/motion_log.h"
#include "sim/sim_card.h"

namespace kpx::sim {

inline constexpr uint32_t kDefaultDriverVersion = 1230;
// Port addresses of the I/O register spaces: card i at kIoPortBase + kIoPortStride x i.
inline constexpr uint64_t kIoPortBase = 0x10000;
inline constexpr uint64_t kIoPortStride = 0x100;
// Bus addresses of the memory spaces: card i's base address register b at
// kMemoryBusBase + kMemoryBusStride x i + kMemoryBarStride x b.
inline constexpr uint64_t kMemoryBusBase = 0xFE000000;
inline constexpr uint64_t kMemoryBusStride = 0x1000;
inline constexpr uint64_t kMemoryBarStride = 0x100;
inline constexpr uint64_t MemoryBusAddress(uint32_t card, uint32_t bar) {
  return kMemoryBusBase + kMemoryBusStride * card + kMemoryBarStride * bar;
}
// Interrupt handle of card i: kInterruptHandleBase + i; card handle: kCardHandleBase + i.
inline constexpr uint32_t kInterruptHandleBase = 0x100;
inline constexpr uint32_t kCardHandleBase = 0x5000;
// The access trace keeps the first this many accesses since it was last
// cleared: a program that polls in real time makes millions a second, and
// an unbounded trace would eat its memory and stall it while growing.
inline constexpr size_t kTraceCapacity = size_t{1} << 20;

struct SimInterrupt {
  bool enabled = false;
  uint32_t pending = 0;
  uint32_t count = 0;
  uint32_t lost = 0;
  uint32_t waiters = 0;
  uint64_t disable_generation = 0;
};

struct SimSlot {
  explicit SimSlot(unsigned bus_position) : card(bus_position) {}
  SimCard card;
  uint32_t info_status = 0;
  uint32_t registration_status = 0;
  kpx4160_sim_resources resources = KPX4160_SIM_RESOURCES_NORMAL;
  bool register_space_memory = false;
  uint32_t registrations = 0;
  // Status the interrupt enable request reports (0: the enable works).
  uint32_t interrupt_enable_status = 0;
  SimInterrupt interrupt;
};

struct SimBus {
  std::mutex mutex;
  std::condition_variable interrupt_cv;
  std::vector<std::unique_ptr<SimSlot>> slots;
  uint32_t driver_version = kDefaultDriverVersion;
  bool driver_absent = false;
  uint32_t scan_status = 0;
  std::set<intptr_t> open_handles;
  intptr_t next_handle = 1;
  bool trace_on = true;
  std::vector<kpx4160_sim_access> trace;
  // Every configuration-space access, in order (not affected by trace_on).
  std::vector<kpx4160_sim_config_access> config_log;
  std::map<uint32_t, uint64_t> request_counts;
  uint64_t total_requests = 0;
  SimClock clock;
  MotionLog log;
  // Main-status reads in a row with no other access between them (virtual
  // time lets them pass faster, see sim_driver.cpp).
  uint32_t idle_polls = 0;
  // The machine file: why it was refused (cards then cannot be opened
  // until the next load or reset), where its log goes at the last close.
  std::string machine_error;
  bool machine_env_checked = false;  // KPX4160_SIM_MACHINE is looked at once, at the first open
  std::string log_csv;
  std::string log_svg;

  // Brings every card's motion up to the clock (filling in the motion log
  // on the way) and raises the interrupts of the moves that ended; returns
  // the simulated time it observed. Caller holds the mutex.
  double ObserveLocked();
  // True when nothing changes with time: no axis runs and no log samples.
  bool StillLocked() const;
  // Raises the card's interrupt: a pending wait returns with it. Returns
  // false (and counts it lost) when the card's interrupt is not enabled.
  bool RaiseInterruptLocked(unsigned card);
  // Simulated time of the next thing that happens by itself (a move ends,
  // a log sample is due), for waits in real time.
  double NextEventTimeLocked() const;

  // Back to power-on with n cards. Caller holds the mutex.
  void ResetLocked(unsigned cards);
  void SetCardCountLocked(unsigned cards);
  SimSlot *Slot(unsigned card) { return card < slots.size() ? slots[card].get() : nullptr; }
};

SimBus &Bus();

// Loads a machine file onto the bus (caller holds the mutex); false with
// the reason in bus.machine_error, also on standard error and in the
// library's error text.
bool LoadMachineLocked(SimBus &bus, const std::string &path);
// The last card was released: the machine file's log is written.
void WriteMachineLogLocked(SimBus &bus);

}  // namespace kpx::sim
