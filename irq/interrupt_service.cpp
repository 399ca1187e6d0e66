// The interrupt thread and its wait loop, and starting and stopping it.
#include "irq/interrupt_service.h"

#include <condition_variable>
#include <cstring>
#include <new>

#include "core/card_table.h"

#include "device/driver_records.h"
#include "device/error_text.h"
#include "device/pci_device.h"
#include "device/status_text.h"

namespace kpx::irq {
namespace {

using namespace kpx::device;

// The service whose wait loop runs on this thread; null on every other thread.
thread_local const InterruptService *tls_current_service = nullptr;

// The wait result the driver writes into the interrupt record: count, lost
// count and outcome, three consecutive words.
constexpr uint32_t kWaitResultOffset = kInterruptOffCount;
constexpr uint32_t kWaitResultBytes = kInterruptOffOutcome + 4 - kInterruptOffCount;

// Guards every card's service reference and the services' bookkeeping
// between the application threads (enable, disable, close) and the
// interrupt threads' callbacks. Held only for short steps, never while
// waiting for a thread. Constant-initialised with a trivial destructor, so
// it outlives the stop that runs at exit; the condition variable (a service
// freed) is never destroyed for the same reason.
std::mutex service_mutex;
std::condition_variable &ServiceFreed() {
  static auto *freed = new std::condition_variable;
  return *freed;
}
// Serial number of the next service, so a waiter tells "its" service from a
// later one that happens to get the same address.
uint64_t next_service_serial = 1;

InterruptService *ServiceOf(const CardRecord &card) {
  return static_cast<InterruptService *>(card.interrupt_service.service);
}

void ReportStartFailure(uint32_t status) {
  SetErrorText("InterruptEnable() failed with status 0x%x - %s\n", status, StatusText(status));
}

// Interrupt disable request with a copy of the card's interrupt record; a
// wait pending in the driver then returns with outcome "disabled".
void RequestDisable(InterruptService &service) {
  alignas(8) uint8_t copy[kInterruptRecordSize];
  {
    std::lock_guard lock(service.record_mutex);
    std::memcpy(copy, service.record, sizeof copy);
  }
  DriverRequest(kRequestInterruptDisable, service.driver, copy, sizeof copy, false);
}

void WaitLoop(void *argument) {
  auto &service = *static_cast<InterruptService *>(argument);
  tls_current_service = &service;
  for (;;) {
    // The wait runs on a copy: the driver writes its result while the
    // application may be copying the record for a disable request.
    alignas(8) uint8_t wait[kInterruptRecordSize];
    {
      std::lock_guard lock(service.record_mutex);
      std::memcpy(wait, service.record, sizeof wait);
    }
    // A wait the driver never answers (its handle could not be opened)
    // leaves the record as it was; counting that as "disabled" ends the
    // loop instead of spinning on it or dispatching a phantom interrupt.
    PutU32(wait, kInterruptOffOutcome, kInterruptOutcomeDisabled);
    // A handle of its own per wait, so the card's handle stays free for the
    // transfers and configuration accesses of the application threads.
    DriverRequest(kRequestInterruptWait, service.driver, wait, sizeof wait, true);
    {
      std::lock_guard lock(service.record_mutex);
      std::memcpy(service.record + kWaitResultOffset, wait + kWaitResultOffset, kWaitResultBytes);
    }
    const uint32_t outcome = GetU32(wait, kInterruptOffOutcome);
    if (outcome == kInterruptOutcomeDisabled) break;
    if (outcome != kInterruptOutcomeNothing) service.dispatch(*service.card);
  }
  tls_current_service = nullptr;
  service.thread->running.store(0, std::memory_order_release);
}

// How long one look at the ending thread lasts; the stop keeps looking
// until the thread has ended, without an overall limit.
constexpr uint32_t kStopPollMs = 10;

void FreeService(CardRecord &card, InterruptService *service) {
  card.interrupt_service = {};
  delete service->thread;
  delete service;
}

}  // namespace

void DispatchInterrupt(CardRecord &card) {
  const uint32_t count = GetU32(card.interrupt_request, kInterruptOffCount);
  const uint32_t lost = GetU32(card.interrupt_request, kInterruptOffLost);
  const uint32_t outcome = GetU32(card.interrupt_request, kInterruptOffOutcome);
  if (card.interrupt_handler != nullptr) card.interrupt_handler(card, count, lost, outcome);
}

bool StartInterruptService(CardRecord &card, CardHandler handler, uint16_t card_number) {
  std::unique_lock lock(service_mutex);
  while (InterruptService *old = ServiceOf(card)) {
    if (old->thread->running.load(std::memory_order_acquire) != 0) return false;
    // A service whose thread has already ended (disabled from the callback):
    // free it, then start anew. From a callback this cannot be done.
    if (tls_current_service != nullptr) return false;
    lock.unlock();
    StopInterruptService(card);
    lock.lock();
  }
  // The cards are being closed: their threads have been stopped or are
  // being stopped, and none may start behind the close's back.
  if (core::LibraryInitialised.load(std::memory_order_acquire) == 0) return false;
  card.interrupt_handler = handler;

  auto *service = new (std::nothrow) InterruptService;
  if (service == nullptr) {
    ReportStartFailure(kStatusInsufficientResources);
    return false;
  }
  const uint32_t status =
      DriverRequest(kRequestInterruptEnable, card.driver, card.interrupt_request, kInterruptRecordSize, false);
  if (status != 0) {
    delete service;
    ReportStartFailure(status);
    return false;
  }

  service->driver = card.driver;
  service->dispatch = DispatchInterrupt;
  service->card = &card;
  service->record = card.interrupt_request;
  service->card_number = card_number;
  service->serial = next_service_serial++;
  service->thread = new (std::nothrow) InterruptThread;
  if (service->thread == nullptr) {
    // The driver has the interrupt enabled already: take that back first.
    RequestDisable(*service);
    delete service;
    ReportStartFailure(kStatusInsufficientResources);
    return false;
  }
  // The card refers to its service before the thread starts, so the
  // handler finds it from the first interrupt on.
  card.interrupt_service = {service, StopInterruptService};
  service->thread->running.store(1, std::memory_order_relaxed);
  if (!StartPlatformThread(service->thread->thread, kInterruptThreadStackBytes, WaitLoop, service)) {
    RequestDisable(*service);
    FreeService(card, service);
    ReportStartFailure(kStatusInsufficientResources);
    return false;
  }
  return true;
}

void StopInterruptService(CardRecord &card) {
  std::unique_lock lock(service_mutex);
  InterruptService *service = ServiceOf(card);
  if (service == nullptr) return;
  RequestDisable(*service);
  if (tls_current_service != nullptr) return;  // on an interrupt thread: see the header

  if (service->joining) {
    // Another application thread is already waiting for this thread: wait
    // until it has freed the service, so every disable returns with the
    // thread gone.
    const uint64_t serial = service->serial;
    ServiceFreed().wait(lock, [&] { return ServiceOf(card) == nullptr || ServiceOf(card)->serial != serial; });
    return;
  }
  service->joining = true;
  lock.unlock();

  // The service stays referenced by the card until its thread has ended:
  // the thread's callback may still look it up.
  InterruptThread &thread = *service->thread;
  while (thread.running.load(std::memory_order_acquire) != 0) {
    if (WaitPlatformThread(thread.thread, kStopPollMs)) break;
  }
  ClosePlatformThread(thread.thread);
  lock.lock();
  FreeService(card, service);
  lock.unlock();
  ServiceFreed().notify_all();
}

bool InterruptServiceRunning(const CardRecord &card) {
  const std::lock_guard lock(service_mutex);
  const InterruptService *service = ServiceOf(card);
  return service != nullptr && service->thread->running.load(std::memory_order_acquire) != 0;
}

bool HasInterruptService(const CardRecord &card) {
  const std::lock_guard lock(service_mutex);
  return ServiceOf(card) != nullptr;
}

bool InterruptServiceCard(const CardRecord &card, uint16_t &card_number) {
  const std::lock_guard lock(service_mutex);
  const InterruptService *service = ServiceOf(card);
  if (service == nullptr) return false;
  card_number = service->card_number;
  return true;
}

bool OnInterruptThread() { return tls_current_service != nullptr; }

}  // namespace kpx::irq
