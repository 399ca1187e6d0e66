#if defined(__linux__)

#include "device/backends/linux_vfio.h"
#include "device/backends/linux_status.h"

#include <fcntl.h>
#include <linux/vfio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "device/error_text.h"

namespace kpx::device::linux_pci {
namespace {

// The kernel's name of the driver that hands cards to user space.
constexpr const char *kVfioDriverName = "vfio-pci";

// The last component of a symbolic link's target ("../../vfio-pci" ->
// "vfio-pci"); empty if the link cannot be read.
std::string LinkLeaf(const std::string &path) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  const std::string text(target, static_cast<size_t>(n));
  const size_t slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

uint32_t OpenFailure(const std::string &path, int error, uint32_t failure_status, const char *hint) {
  SetErrorDetail("cannot open %s: %s%s\n", path.c_str(), std::strerror(error), hint);
  return error == ENOENT || error == ENODEV || error == ENXIO ? kStatusDeviceNotFound : failure_status;
}

}  // namespace

// The container and the group attached to it: one IOMMU context, in which
// every card of the group is opened.
class VfioGroup {
 public:
  UniqueFd container;
  UniqueFd group;
};

bool BoundToVfio(const SysfsDevice &device) { return LinkLeaf(device.File("driver")) == kVfioDriverName; }

bool VfioDevice::BarRegion(uint32_t bar, VfioRegion &out) const {
  vfio_region_info info{};
  info.argsz = sizeof info;
  info.index = VFIO_PCI_BAR0_REGION_INDEX + bar;
  if (bar > VFIO_PCI_BAR5_REGION_INDEX - VFIO_PCI_BAR0_REGION_INDEX ||
      ::ioctl(fd_.Get(), VFIO_DEVICE_GET_REGION_INFO, &info) != 0)
    return false;
  out = {info.offset, info.size, info.flags};
  return true;
}

bool VfioDevice::ConfigRegion(VfioRegion &out) const {
  vfio_region_info info{};
  info.argsz = sizeof info;
  info.index = VFIO_PCI_CONFIG_REGION_INDEX;
  if (::ioctl(fd_.Get(), VFIO_DEVICE_GET_REGION_INFO, &info) != 0) return false;
  out = {info.offset, info.size, info.flags};
  return true;
}

bool VfioDevice::ConfigAccess(uint32_t offset, void *buffer, bool read) const {
  VfioRegion config;
  if (!ConfigRegion(config) || offset > config.size || config.size - offset < 4) return false;
  const off_t at = static_cast<off_t>(config.offset + offset);
  for (;;) {
    const ssize_t n = read ? ::pread(fd_.Get(), buffer, 4, at) : ::pwrite(fd_.Get(), buffer, 4, at);
    if (n < 0 && errno == EINTR) continue;
    return n == 4;
  }
}

uint32_t VfioDevices::OpenGroup(const std::string &number, uint32_t failure_status,
                                std::shared_ptr<VfioGroup> &out) {
  if (auto open = groups_[number].lock()) {
    out = std::move(open);
    return kStatusOk;
  }
  auto group = std::make_shared<VfioGroup>();
  const std::string container_path = dev_root_ + "/vfio/vfio";
  group->container = UniqueFd(::open(container_path.c_str(), O_RDWR | O_CLOEXEC));
  if (!group->container.Valid())
    return OpenFailure(container_path, errno, failure_status, " (is the vfio module loaded?)");
  if (::ioctl(group->container.Get(), VFIO_GET_API_VERSION) != VFIO_API_VERSION ||
      ::ioctl(group->container.Get(), VFIO_CHECK_EXTENSION, VFIO_TYPE1_IOMMU) <= 0) {
    SetErrorDetail("%s is not a VFIO container with the type-1 IOMMU\n", container_path.c_str());
    return failure_status;
  }
  const std::string group_path = dev_root_ + "/vfio/" + number;
  group->group = UniqueFd(::open(group_path.c_str(), O_RDWR | O_CLOEXEC));
  if (!group->group.Valid())
    return OpenFailure(group_path, errno, failure_status,
                       errno == EACCES   ? " (the group's node must belong to this user, see the udev rule)"
                       : errno == EBUSY ? " (another program holds the group)"
                                        : "");
  vfio_group_status status{};
  status.argsz = sizeof status;
  if (::ioctl(group->group.Get(), VFIO_GROUP_GET_STATUS, &status) != 0 ||
      (status.flags & VFIO_GROUP_FLAGS_VIABLE) == 0) {
    SetErrorDetail("IOMMU group %s is not usable: every device in it must be bound to vfio-pci or to no driver\n",
                   number.c_str());
    return failure_status;
  }
  int container_fd = group->container.Get();
  // The type-1 IOMMU is chosen once the first group is in the container. No
  // memory is ever mapped for the card: it is only reached, it reaches nothing.
  if (::ioctl(group->group.Get(), VFIO_GROUP_SET_CONTAINER, &container_fd) != 0 ||
      (::ioctl(group->container.Get(), VFIO_SET_IOMMU, VFIO_TYPE1v2_IOMMU) != 0 &&
       ::ioctl(group->container.Get(), VFIO_SET_IOMMU, VFIO_TYPE1_IOMMU) != 0)) {
    SetErrorDetail("cannot attach IOMMU group %s to a type-1 IOMMU container: %s\n", number.c_str(),
                   std::strerror(errno));
    return failure_status;
  }
  groups_[number] = group;
  out = std::move(group);
  return kStatusOk;
}

uint32_t VfioDevices::Open(const SysfsDevice &device, const std::string &name, uint32_t failure_status,
                           std::shared_ptr<VfioDevice> &out) {
  std::lock_guard lock(mutex_);
  if (auto open = devices_[name].lock()) {
    out = std::move(open);
    return kStatusOk;
  }
  const std::string number = LinkLeaf(device.File("iommu_group"));
  if (number.empty()) {
    SetErrorDetail("%s has no IOMMU group: turn the IOMMU on in the firmware and on the kernel command line "
                   "(intel_iommu=on or amd_iommu=on)\n", name.c_str());
    return failure_status;
  }
  std::shared_ptr<VfioGroup> group;
  const uint32_t status = OpenGroup(number, failure_status, group);
  if (status != kStatusOk) return status;
  UniqueFd fd(::ioctl(group->group.Get(), VFIO_GROUP_GET_DEVICE_FD, name.c_str()));
  if (!fd.Valid()) {
    SetErrorDetail("IOMMU group %s does not hand out %s: %s\n", number.c_str(), name.c_str(), std::strerror(errno));
    return failure_status;
  }
  vfio_device_info info{};
  info.argsz = sizeof info;
  if (::ioctl(fd.Get(), VFIO_DEVICE_GET_INFO, &info) != 0 || (info.flags & VFIO_DEVICE_FLAGS_PCI) == 0 ||
      info.num_regions <= VFIO_PCI_CONFIG_REGION_INDEX) {
    SetErrorDetail("%s is not a PCI device to VFIO\n", name.c_str());
    return failure_status;
  }
  auto opened = std::make_shared<VfioDevice>(std::move(group), std::move(fd));
  devices_[name] = opened;
  out = std::move(opened);
  return kStatusOk;
}

}  // namespace kpx::device::linux_pci

#endif  // __linux__
