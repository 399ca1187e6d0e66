#if defined(__linux__)

#include "device/backends/linux_vfio_interrupt.h"
#include "device/backends/linux_status.h"

#include <linux/vfio.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/driver_records.h"
#include "device/error_text.h"

namespace kpx::device::linux_pci {

uint32_t VfioInterrupt::Start(std::shared_ptr<VfioDevice> device, std::shared_ptr<CardInterrupt> &out) {
  vfio_irq_info info{};
  info.argsz = sizeof info;
  info.index = VFIO_PCI_INTX_IRQ_INDEX;
  if (::ioctl(device->Fd(), VFIO_DEVICE_GET_IRQ_INFO, &info) != 0 || info.count == 0 ||
      (info.flags & VFIO_IRQ_INFO_EVENTFD) == 0) {
    SetErrorDetail("VFIO offers no INTx interrupt for the card\n");
    return kStatusFailedEnablingInterrupt;
  }
  std::shared_ptr<VfioInterrupt> irq(new VfioInterrupt(std::move(device)));
  irq->trigger_ = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  irq->wake_ = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!irq->trigger_.Valid() || !irq->wake_.Valid()) return kStatusInsufficientResources;
  if (!irq->SetIrqs(VFIO_IRQ_SET_ACTION_TRIGGER, irq->trigger_.Get())) {
    SetErrorDetail("VFIO refused to arm the card's INTx interrupt: %s\n", std::strerror(errno));
    return kStatusFailedEnablingInterrupt;
  }
  irq->enabled_.store(true);
  out = std::move(irq);
  return kStatusOk;
}

bool VfioInterrupt::SetIrqs(uint32_t action, int eventfd) const {
  // The request carries its data (one eventfd) right after the header.
  alignas(vfio_irq_set) uint8_t buffer[sizeof(vfio_irq_set) + sizeof(int32_t)] = {};
  auto *set = reinterpret_cast<vfio_irq_set *>(buffer);
  set->argsz = sizeof buffer;
  set->index = VFIO_PCI_INTX_IRQ_INDEX;
  set->start = 0;
  if (eventfd >= 0) {
    set->flags = VFIO_IRQ_SET_DATA_EVENTFD | action;
    set->count = 1;
    const int32_t fd = eventfd;
    std::memcpy(buffer + sizeof(vfio_irq_set), &fd, sizeof fd);
  } else {
    set->flags = VFIO_IRQ_SET_DATA_NONE | action;
    // Count 0 with no data switches the trigger off; an unmask names the line.
    set->count = action == VFIO_IRQ_SET_ACTION_TRIGGER ? 0 : 1;
    set->argsz = sizeof(vfio_irq_set);
  }
  return ::ioctl(device_->Fd(), VFIO_DEVICE_SET_IRQS, set) == 0;
}

CardInterrupt::WaitResult VfioInterrupt::Wait() {
  const auto result = [this](uint32_t outcome) { return WaitResult{outcome, count_, lost_}; };
  if (!enabled_.load()) return result(kInterruptOutcomeDisabled);
  if (unmask_before_wait_) {
    // The handler has acknowledged the card by now: let it interrupt again.
    std::lock_guard lock(line_mutex_);
    if (enabled_.load()) SetIrqs(VFIO_IRQ_SET_ACTION_UNMASK, -1);
    unmask_before_wait_ = false;
  }

  pollfd fds[2] = {{trigger_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
  const int ready = ::poll(fds, 2, -1);
  if (ready < 0) return result(errno == EINTR ? kInterruptOutcomeNothing : kInterruptOutcomeDisabled);
  if ((fds[1].revents & POLLIN) != 0 || !enabled_.load()) return result(kInterruptOutcomeDisabled);
  if ((fds[0].revents & POLLIN) == 0) return result(kInterruptOutcomeNothing);

  // The eventfd counts the signals since it was last read; the line is
  // masked after each one, so more than one means interrupts were merged.
  uint64_t signals = 0;
  const ssize_t n = ::read(trigger_.Get(), &signals, sizeof signals);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return result(kInterruptOutcomeNothing);
  if (n != static_cast<ssize_t>(sizeof signals)) return result(kInterruptOutcomeDisabled);
  if (signals == 0) return result(kInterruptOutcomeNothing);
  count_ += static_cast<uint32_t>(signals);
  lost_ += static_cast<uint32_t>(signals - 1);
  unmask_before_wait_ = true;
  return result(kInterruptOutcomeRaised);
}

uint32_t VfioInterrupt::Stop() {
  bool off;
  {
    std::lock_guard lock(line_mutex_);
    enabled_.store(false);
    off = SetIrqs(VFIO_IRQ_SET_ACTION_TRIGGER, -1);
  }
  const uint64_t one = 1;
  // Cannot fail short of a counter overflow; the wake-up is best effort.
  [[maybe_unused]] const ssize_t n = ::write(wake_.Get(), &one, sizeof one);
  return off ? kStatusOk : kStatusOperationFailed;
}

}  // namespace kpx::device::linux_pci

#endif  // __linux__
