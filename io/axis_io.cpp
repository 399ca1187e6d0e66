// Per-axis signals of the I/O kind: servo-on output (a bit of the card's
// OutputPort), RDY input (a sub-status bit) and a direct switch of the ERC
// output (a chip command). These do not take IoMutex; the servo-on
// read-modify-write holds RegisterLock.
#include "core/registers.h"
#include "core/shared_registers.h"
#include "io/gpio_map.h"
#include "kpx4160.h"

using namespace kpx::io;
using kpx::core::BaseOf;
using kpx::core::CardOf;
using kpx::core::ChipAxisOf;
using kpx::core::kPldOutputPort;

namespace {
// Commands that switch the ERC output on and off directly.
constexpr uint16_t kErcOnCommand = 0x24;
constexpr uint16_t kErcOffCommand = 0x25;
// The servo-on write keeps only the 20 defined output bits.
constexpr uint32_t kServoOnKeep = FieldMask(19, 0);
}  // namespace

extern "C" {

void k4160_write_SEVON_PIN(uint16_t axis, uint16_t value) {
  if (value > 1) return;
  const uint16_t card = CardOf(axis);
  const uint32_t bit = BitMask(kServoOnBit + ChipAxisOf(axis));
  // OutputPort also holds the other axis's servo-on and the general
  // outputs: no other write may come between the read and the write.
  const kpx::core::RegisterTransaction hold;
  uint32_t v = read_dword_pld_register(card, kPldOutputPort) & kServoOnKeep & ~bit;
  if (value == 0) v |= bit;  // active low
  write_dword_pld_register(card, kPldOutputPort, v);
}

int32_t k4160_read_SEVON_PIN(uint16_t axis) {
  const uint32_t v = read_dword_pld_register(CardOf(axis), kPldOutputPort);
  return (v & BitMask(kServoOnBit + ChipAxisOf(axis))) == 0 ? 1 : 0;
}

int32_t k4160_read_RDY_PIN(uint16_t axis) {
  return (read_word_pcl_sstsw(CardOf(axis), BaseOf(axis)) & BitMask(kSubRdyBit)) == 0 ? 1 : 0;
}

void k4160_write_ERC_PIN(uint16_t axis, uint16_t value) {
  if (value > 1) return;
  kpx::core::WritePclCommand(CardOf(axis), BaseOf(axis), value == 1 ? kErcOnCommand : kErcOffCommand);
}

}  // extern "C"
