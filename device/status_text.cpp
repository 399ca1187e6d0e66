#include "device/status_text.h"

#include <iterator>

namespace kpx::device {
namespace {

// Searched in order; code 0 appears twice and the first entry wins.
constexpr StatusEntry kStatusTable[] = {
    {0x00000000, "Success"},
    {0xFFFFFFFF, "Invalid WinDriver handle"},
    {0x20000000, "Error"},
    {0x20000001, "Invalid handle"},
    {0x20000002, "Invalid pipe number"},
    {0x20000003, "Conflict between read and write operations"},
    {0x20000004, "Packet size is zero"},
    {0x20000005, "Insufficient resources"},
    {0x20000006, "Unknown pipe type"},
    {0x20000007, "Internal system error"},
    {0x20000008, "Data mismatch"},
    {0x2000000A, "Function not implemented"},
    {0x2000000B, "Kernel PlugIn failure"},
    {0x2000000C, "Failed enabling interrupt"},
    {0x2000000D, "Interrupt not enabled"},
    {0x2000000E, "Resource overlap"},
    {0x2000000F, "Device not found"},
    {0x20000010, "Wrong unique ID"},
    {0x20000011, "Operation already done"},
    {0x20000012, "Usb descriptor error"},
    {0x20000013, "Set configuration operation failed"},
    {0x20000014, "Cannot obtain PDO"},
    {0x20000015, "Timeout expired"},
    {0x20000016, "IRP operation canceled"},
    {0x20000017, "Failed to map in user space"},
    {0x20000018, "Failed to map in kernel space"},
    {0x20000019, "No resources on the device"},
    {0x2000001A, "No events"},
    {0x2000001B, "Invalid parameter"},
    {0x2000001C, "Incorrect WinDriver version installed"},
    {0x2000001D, "Try again"},
    {0x2000001E, "Failed open WinDriver"},
    {0x2000001F, "Received an invalid IOCTL"},
    {0x20000020, "Operation failed"},
    {0x20000021, "Received an invalid 32bit IOCTL"},
    {0x20000022, "No room to add handle"},
    {0x20000023, "Driver not installed"},
    {0x00000000, "USBD: Success"},
    {0x40000000, "USBD: Operation pending"},
    {0x80000000, "USBD: Error"},
    {0xC0000000, "USBD: Halted"},
    {0xC0000001, "HC status: CRC"},
    {0xC0000002, "HC status: Bit stuffing "},
    {0xC0000003, "HC status: Data toggle mismatch"},
    {0xC0000004, "HC status: PID stall"},
    {0xC0000005, "HC status: Device not responding"},
    {0xC0000006, "HC status: PID check failed"},
    {0xC0000007, "HC status: Unexpected PID"},
    {0xC0000008, "HC status: Data overrun"},
    {0xC0000009, "HC status: Data underrun"},
    {0xC000000A, "HC status: Reserved1"},
    {0xC000000B, "HC status: Reserved2"},
    {0xC000000C, "HC status: Buffer overrun"},
    {0xC000000D, "HC status: Buffer Underrun"},
    {0xC000000F, "HC status: Not accessed"},
    {0xC0000010, "HC status: Fifo"},
    {0xC0000011, "HC status: The host controller has set the Transaction Error (XactErr) bit in the transfer descriptor's status field"},
    {0xC0000012, "HC status: Babble detected"},
    {0xC0000013, "HC status: Data buffer error"},
    {0xC0010000, "USBD: Transfer canceled"},
    {0xC0000030, "HCD: Transfer submitted to a stalled endpoint"},
    {0x80000100, "USBD: Out of memory"},
    {0x80000200, "USBD: Invalid URB function"},
    {0x80000300, "USBD: Invalid parameter"},
    {0x80000400, "USBD: Attempted to close enpoint/interface/configuration with outstanding transfer"},
    {0x80000500, "USBD: URB request failed"},
    {0x80000600, "USBD: Invalid pipe handle"},
    {0x80000700, "USBD: Not enough bandwidth for endpoint"},
    {0x80000800, "USBD: Host controller error"},
    {0x80000900, "USBD: Trasnfer terminated with short packet"},
    {0xC0000A00, "USBD: Start frame outside range"},
    {0xC0000B00, "HCD: Isochronous transfer completed with error"},
    {0xC0000C00, "USBD: Frame length control already taken"},
    {0xC0000D00, "USBD: Attemped operation on frame length control not owned by caller"},
    {0xC0000E00, "USBD: API not supported/implemented"},
    {0xC0000F00, "USBD: Invalid configuration descriptor"},
    {0xC0001000, "USBD: Insufficient resources"},
    {0xC0002000, "USBD: Set configuration failed"},
    {0xC0003000, "USBD: Buffer too small"},
    {0xC0004000, "USBD: Interface not found"},
    {0xC0005000, "USBD: Invalid pipe flags"},
    {0xC0006000, "USBD: Timeout"},
    {0xC0007000, "USBD: Device gone"},
    {0xC0008000, "USBD: Status not mapped"},
    {0xC0020000, "USBD: The controller did not access the TD associated with this packe"},
    {0xC0030000, "USBD: Controller reported an error in the TD"},
    {0xC0040000, "USBD: The packet was submitted in time by the client but failed to reach the miniport in time"},
    {0xC0050000, "USBD: The packet was not sent because the client submitted it too late to transmit"},
};
static_assert(std::size(kStatusTable) == kStatusTableSize, "the status table has 88 entries");

}  // namespace

const char *StatusText(uint32_t code) {
  for (const StatusEntry &e : kStatusTable)
    if (e.code == code) return e.text;
  return "Unrecognized error code";
}

const StatusEntry &StatusTableEntry(uint32_t i) { return kStatusTable[i < kStatusTableSize ? i : 0]; }

}  // namespace kpx::device
