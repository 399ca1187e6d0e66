// The per-card interrupt service: one thread per card that blocks in the
// driver's interrupt wait and runs the card's handler for every interrupt.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "device/card_record.h"
#include "device/platform_thread.h"

namespace kpx::irq {

// Handler run on the interrupt thread: (card, interrupt count, lost count, outcome).
using CardHandler = void (*)(device::CardRecord &card, uint32_t count, uint32_t lost, uint32_t outcome);

// Stack the interrupt thread asks for; the platform layer raises it to
// what the driver requests and the register accessors need.
inline constexpr std::size_t kInterruptThreadStackBytes = 4096;
// Status reported when the service or its thread cannot be set up.
inline constexpr uint32_t kStatusInsufficientResources = 0x20000005;

struct InterruptThread {
  device::PlatformThread thread;
  // 1 from creation until the wait loop has ended.
  std::atomic<uint32_t> running{0};
};

struct InterruptService {
  device::DriverHandle driver;                  // the card's own driver handle
  void (*dispatch)(device::CardRecord &card);   // DispatchInterrupt
  device::CardRecord *card;                     // argument of dispatch
  uint8_t *record;                              // the card's interrupt record
  uint16_t card_number;                         // CardTable slot the service was started for
  InterruptThread *thread;
  uint64_t serial;                              // tells this service from a later one at the same address
  bool joining = false;                         // an application thread waits for the thread to end
  // Guards the card's interrupt record between the thread, which stores
  // each wait's result into it, and the disable request, which copies it.
  std::mutex record_mutex;
};

// Enables the card's interrupt at the driver and starts its thread, which
// runs `handler` for every interrupt. False if the card already has a
// running service (nothing written), the cards are being closed, or the
// enable or the thread failed (reason in ErrorText; the card then keeps no
// service). A service whose thread has ended is freed first (not on an
// interrupt thread: there the result is false).
bool StartInterruptService(device::CardRecord &card, CardHandler handler, uint16_t card_number);

// Disables the card's interrupt at the driver, waits for its thread to end
// and frees the service. Nothing happens for a card without a service.
// Called on an interrupt thread (from an application callback), it only
// issues the disable request: a thread cannot wait for itself, and waiting
// for another card's thread could wait for a thread that waits for this one.
// The ended service is freed by the next stop from an application thread.
// Safe from any number of threads at once: the first waits and frees, the
// others wait until it has.
void StopInterruptService(device::CardRecord &card);

// True while the card has a service whose thread is still in its wait loop.
bool InterruptServiceRunning(const device::CardRecord &card);
// True if the card has a service, running or ended.
bool HasInterruptService(const device::CardRecord &card);
// The card number the card's service was started for; false without a service.
bool InterruptServiceCard(const device::CardRecord &card, uint16_t &card_number);

// True on an interrupt thread of this library.
bool OnInterruptThread();

// Calls the card's handler with the count, lost count and outcome of the
// last wait, as the driver left them in the card's interrupt record.
void DispatchInterrupt(device::CardRecord &card);

}  // namespace kpx::irq
