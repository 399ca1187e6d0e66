// A card's interrupt through VFIO: INTx is armed with an eventfd that the
// kernel signals on every interrupt. vfio-pci masks the line before it
// signals (the card keeps it asserted until it is acknowledged), so the
// line is unmasked again before each wait that follows an interrupt, by
// which time the interrupt thread has acknowledged the card.
//
// A wait blocks in poll() on that eventfd and on a wake-up eventfd of its
// own: the disable request switches the line off and signals the wake-up,
// so a pending wait returns at once, and so does any later one.
#pragma once

#if defined(__linux__)

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "device/backends/linux_interrupts.h"
#include "device/backends/linux_vfio.h"

namespace kpx::device::linux_pci {

class VfioInterrupt final : public CardInterrupt {
 public:
  // Checks that the card has an INTx line, makes both eventfds and arms the
  // line. Returns the driver status (0 on success, the reason in the error
  // detail otherwise) and the running interrupt in `out`.
  static uint32_t Start(std::shared_ptr<VfioDevice> device, std::shared_ptr<CardInterrupt> &out);

  WaitResult Wait() override;
  uint32_t Stop() override;

  VfioInterrupt(const VfioInterrupt &) = delete;
  VfioInterrupt &operator=(const VfioInterrupt &) = delete;

 private:
  explicit VfioInterrupt(std::shared_ptr<VfioDevice> device) : device_(std::move(device)) {}
  // VFIO_DEVICE_SET_IRQS on the INTx line with one action; `eventfd` is the
  // trigger to install, or -1 for an action without data.
  bool SetIrqs(uint32_t action, int eventfd) const;

  const std::shared_ptr<VfioDevice> device_;
  UniqueFd trigger_;
  UniqueFd wake_;
  // Serialises the unmask of Wait() with the switch-off of Stop(), so an
  // unmask can never land after a disable.
  std::mutex line_mutex_;
  std::atomic<bool> enabled_{false};

  // Touched only by the waiting thread (one wait at a time per card).
  bool unmask_before_wait_ = false;
  uint32_t count_ = 0;
  uint32_t lost_ = 0;
};

}  // namespace kpx::device::linux_pci

#endif  // __linux__
