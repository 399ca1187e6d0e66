// A card's interrupt on Linux, through UIO: the card is bound to
// uio_pci_generic, whose /dev/uioN node becomes readable when the card
// interrupts. The kernel's handler masks the interrupt at the function's PCI
// command register (INTx disable bit) before waking the reader, so the
// interrupt stays off until user mode has acknowledged the card and clears
// that bit again; this class clears it through the device's sysfs `config`
// file before each wait that follows an interrupt.
//
// A wait blocks in poll() on the UIO node and on an eventfd of its own: the
// disable request masks the interrupt and signals the eventfd, so a pending
// wait returns at once, and a wait that starts after the disable returns at
// once too (the eventfd stays signalled).
#pragma once

#if defined(__linux__)

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "device/backends/linux_sysfs.h"

namespace kpx::device::linux_pci {

// PCI command register: 16 bits at offset 4 of the configuration space.
inline constexpr uint32_t kPciCommandOffset = 0x04;
// Command register bit 10: the function may not assert INTx while it is set.
inline constexpr uint16_t kPciCommandIntxDisable = 1u << 10;

// A card's armed interrupt, whichever kernel interface delivers it (UIO
// here, VFIO in linux_vfio_interrupt.h): the back end's wait and disable
// requests need only these two operations.
class CardInterrupt {
 public:
  // What one wait ends with, in the terms of the driver's interrupt record.
  struct WaitResult {
    uint32_t outcome;  // 1: interrupts disabled, 2: nothing to handle, other: an interrupt
    uint32_t count;    // interrupts since the enable, lost ones included
    uint32_t lost;     // interrupts merged into another before they were seen
  };
  virtual ~CardInterrupt() = default;
  // Blocks until the card interrupts or Stop() is called.
  virtual WaitResult Wait() = 0;
  // Masks the interrupt and wakes every wait, pending or future; the driver status.
  virtual uint32_t Stop() = 0;
};

class UioInterrupt final : public CardInterrupt {
 public:
  // Opens the UIO node and the configuration file, makes the wake-up event
  // and unmasks the interrupt. Returns the driver status (0 on success) and
  // the running interrupt in `out`.
  // command_lock guards the function's command register; every interrupt
  // object of the function (an old one still ending, a new one) shares it.
  static uint32_t Start(const std::string &uio_path, const std::string &config_path,
                        std::shared_ptr<std::mutex> command_lock, std::shared_ptr<UioInterrupt> &out);

  // Blocks until the card interrupts or Stop() is called. If the unmask
  // before the wait fails, the interrupt would stay masked for good: the
  // wait then ends as disabled, and the reason is in ErrorText.
  WaitResult Wait() override;
  // Masks the interrupt and wakes every wait, pending or future. Returns
  // the driver status: 0, or "operation failed" if the mask could not be
  // written (the waits are woken all the same).
  uint32_t Stop() override;

  UioInterrupt(const UioInterrupt &) = delete;
  UioInterrupt &operator=(const UioInterrupt &) = delete;

 private:
  UioInterrupt() = default;
  // Read-modify-write of the INTx disable bit; false if config access failed.
  bool SetMasked(bool masked);

  UniqueFd uio_;
  UniqueFd wake_;
  UniqueFd config_;
  // Serialises the command register updates of Wait() and Stop() of every
  // interrupt object of the function, so an unmask can never land after the
  // mask of a disable, nor two read-modify-writes interleave.
  std::shared_ptr<std::mutex> command_mutex_;
  std::atomic<bool> enabled_{false};

  // Touched only by the waiting thread (one wait at a time per card).
  bool unmask_before_wait_ = false;
  bool have_event_count_ = false;
  uint32_t last_event_count_ = 0;
  uint32_t count_ = 0;
  uint32_t lost_ = 0;
};

}  // namespace kpx::device::linux_pci

#endif  // __linux__
