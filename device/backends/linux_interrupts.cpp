#if defined(__linux__)

#include "device/backends/linux_interrupts.h"
#include "device/backends/linux_status.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/driver_records.h"
#include "device/error_text.h"

namespace kpx::device::linux_pci {
namespace {

// uio_pci_generic delivers the running total of the card's interrupts as a
// 32-bit count on every read.
constexpr size_t kUioEventSize = 4;

// The standard configuration header every PCI function has.
constexpr unsigned kPciHeaderSize = 64;

}  // namespace

uint32_t UioInterrupt::Start(const std::string &uio_path, const std::string &config_path,
                             std::shared_ptr<std::mutex> command_lock, std::shared_ptr<UioInterrupt> &out) {
  std::shared_ptr<UioInterrupt> irq(new UioInterrupt);
  irq->command_mutex_ = std::move(command_lock);
  // Non-blocking: a poll() that reported data may still find none to read
  // (another reader, a spurious wake-up), and the wait must not hang there.
  irq->uio_ = UniqueFd(::open(uio_path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
  if (!irq->uio_.Valid()) {
    SetErrorDetail("cannot open %s: %s\n", uio_path.c_str(), std::strerror(errno));
    return kStatusFailedEnablingInterrupt;
  }
  irq->config_ = UniqueFd(::open(config_path.c_str(), O_RDWR | O_CLOEXEC));
  if (!irq->config_.Valid()) {
    SetErrorDetail("cannot open %s for writing: %s\n", config_path.c_str(), std::strerror(errno));
    return kStatusFailedEnablingInterrupt;
  }
  // The card's interrupt is acknowledged in its configuration space past
  // the standard header, which the sysfs file shows only to a process with
  // CAP_SYS_ADMIN (others read 0 bytes there): without it every interrupt
  // would stay unacknowledged, so the enable is refused up front.
  uint32_t probe = 0;
  if (::pread(irq->config_.Get(), &probe, sizeof probe, kPciHeaderSize) != sizeof probe) {
    SetErrorDetail("%s: the configuration space past its first %u bytes, where the card's interrupt is "
                   "acknowledged, is readable only with CAP_SYS_ADMIN; run as root or bind the card to "
                   "vfio-pci\n", config_path.c_str(), kPciHeaderSize);
    return kStatusFailedEnablingInterrupt;
  }
  irq->wake_ = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!irq->wake_.Valid()) return kStatusInsufficientResources;
  std::lock_guard lock(*irq->command_mutex_);
  irq->enabled_.store(true);
  if (!irq->SetMasked(false)) return kStatusFailedEnablingInterrupt;
  out = std::move(irq);
  return kStatusOk;
}

bool UioInterrupt::SetMasked(bool masked) {
  uint16_t command = 0;
  if (PreadRetrying(config_.Get(), &command, sizeof command, kPciCommandOffset) != sizeof command) return false;
  const uint16_t wanted = masked ? static_cast<uint16_t>(command | kPciCommandIntxDisable)
                                 : static_cast<uint16_t>(command & ~kPciCommandIntxDisable);
  if (wanted == command) return true;
  // Two bytes only: the status register above it clears its error bits
  // when they are written back as ones.
  return PwriteRetrying(config_.Get(), &wanted, sizeof wanted, kPciCommandOffset) == sizeof wanted;
}

UioInterrupt::WaitResult UioInterrupt::Wait() {
  const auto result = [this](uint32_t outcome) { return WaitResult{outcome, count_, lost_}; };
  if (!enabled_.load()) return result(kInterruptOutcomeDisabled);
  if (unmask_before_wait_) {
    // The handler has acknowledged the card by now: let it interrupt again.
    std::lock_guard lock(*command_mutex_);
    unmask_before_wait_ = false;
    if (enabled_.load() && !SetMasked(false)) {
      // Left masked, the card could never interrupt again while the
      // application believes interrupts are on: end the service instead.
      enabled_.store(false);
      SetErrorText("Failed unmasking the interrupt in the PCI command register\n");
      return result(kInterruptOutcomeDisabled);
    }
  }

  pollfd fds[2] = {{uio_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
  const int ready = ::poll(fds, 2, -1);
  if (ready < 0) return result(errno == EINTR ? kInterruptOutcomeNothing : kInterruptOutcomeDisabled);
  if ((fds[1].revents & POLLIN) != 0 || !enabled_.load()) return result(kInterruptOutcomeDisabled);
  if ((fds[0].revents & POLLIN) == 0) {
    // POLLERR/POLLHUP without data: the UIO device went away. Reporting
    // "disabled" ends the interrupt thread instead of letting it spin.
    return result((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 ? kInterruptOutcomeDisabled
                                                                          : kInterruptOutcomeNothing);
  }

  uint32_t total = 0;
  const ssize_t n = ::read(uio_.Get(), &total, kUioEventSize);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return result(kInterruptOutcomeNothing);
  if (n != static_cast<ssize_t>(kUioEventSize)) return result(kInterruptOutcomeDisabled);

  // The total counts from when the UIO device was bound, so the first event
  // after an enable counts as one; a later jump of more than one means the
  // interrupts in between were merged into this one.
  const uint32_t delta = have_event_count_ ? total - last_event_count_ : 1;
  have_event_count_ = true;
  last_event_count_ = total;
  if (delta == 0) return result(kInterruptOutcomeNothing);
  count_ += delta;
  lost_ += delta - 1;
  unmask_before_wait_ = true;
  return result(kInterruptOutcomeRaised);
}

uint32_t UioInterrupt::Stop() {
  bool masked;
  {
    std::lock_guard lock(*command_mutex_);
    enabled_.store(false);
    masked = SetMasked(true);
  }
  const uint64_t one = 1;
  // Cannot fail short of a counter overflow; the wake-up is best effort.
  [[maybe_unused]] const ssize_t n = ::write(wake_.Get(), &one, sizeof one);
  return masked ? kStatusOk : kStatusOperationFailed;
}

}  // namespace kpx::device::linux_pci

#endif  // __linux__
