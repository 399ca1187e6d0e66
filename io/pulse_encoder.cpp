#include "io/pulse_encoder.h"

#include <cstdint>

#include "core/card_table.h"
#include "core/registers.h"
#include "core/shared_registers.h"
#include "kpx4160.h"

using namespace kpx::io;
using namespace kpx::core;

namespace {

uint16_t AxisPldOffset(uint16_t axis, uint16_t offset) {
  return static_cast<uint16_t>(offset + ChipAxisOf(axis) * kPldAxisStride);
}

// Both presets accept only what the 28-bit counters can hold.
bool PresetInRange(int32_t value) {
  const int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
  return magnitude <= kEncoderPresetMagnitudeMax;
}

}  // namespace

extern "C" {

void k4160_set_pulse_outmode(uint16_t axis, uint16_t mode) {
  if (mode > 7) return;
  const uint16_t card = CardOf(axis), base = BaseOf(axis);
  // Without an open card there is nothing to lock for (before the first
  // initialisation the lock is not even set up).
  if (UsableCard(card) == nullptr) return;
  // Held across read and write so no other thread's access to the chip
  // comes between them.
  RegisterTransaction hold;
  ModifyPclRegister(card, base, kPclSignalConfig1Read, kPclSignalConfig1Write, ~kPulseOutputModeField,
                    kPulseOutputCode[mode]);
}

void k4160_counter_config(uint16_t axis, uint16_t mode) {
  const uint32_t shift = 8u * ChipAxisOf(axis);
  ModifyPldRegister(CardOf(axis), kPldCounterConfig, ~(kCountInputModeField << shift),
                    (mode & kCountInputModeField) << shift);
}

int32_t k4160_get_encoder(uint16_t axis) {
  return SignExtendEncoderCount(read_dword_pld_register(CardOf(axis), AxisPldOffset(axis, kPldEncoderCount)));
}

void k4160_set_encoder(uint16_t axis, int32_t value) {
  if (!PresetInRange(value)) return;
  const uint16_t card = CardOf(axis);
  write_dword_pld_register(card, AxisPldOffset(axis, kPldEncoderPreset), static_cast<uint32_t>(value));
  // Writing the load register transfers the preset into the counter.
  write_dword_pld_register(card, AxisPldOffset(axis, kPldEncoderLoadLatch), 0);
}

int32_t k4160_get_encoder_pcl(uint16_t axis) {
  return static_cast<int32_t>(ReadPclRegister32(CardOf(axis), BaseOf(axis), kPclEncoderCounterRead));
}

void k4160_set_encoder_pcl(uint16_t axis, int32_t value) {
  if (!PresetInRange(value)) return;
  WritePclRegister32(CardOf(axis), BaseOf(axis), kPclEncoderCounterWrite, static_cast<uint32_t>(value));
}

void k4160_set_handwheel_inmode(uint16_t axis, uint16_t inmode, uint16_t option) {
  uint32_t set = ((inmode & 3u) << kHandwheelModeShift) | kHandwheelAlwaysSet;
  if (option == 1) set |= kHandwheelOption;
  ModifyPclRegister(CardOf(axis), BaseOf(axis), kPclSignalConfig2Read, kPclSignalConfig2Write, kHandwheelKeepMask,
                    set);
}

void k4160_config_encoder_filter(uint16_t axis, uint16_t value) {
  if (value > kEncoderFilterMax) value = kEncoderFilterMax;
  const uint32_t shift = 8u * ChipAxisOf(axis);
  ModifyPldRegister(CardOf(axis), kPldEncoderFilter, ~(kEncoderFilterField << shift),
                    static_cast<uint32_t>(value) << shift);
}

uint32_t k4160_get_counter_flag(uint16_t card) {
  return read_dword_pld_register(card, kPldCounterFlags) & kCounterFlagsReported;
}

void k4160_reset_counter_flag(uint16_t card) { write_dword_pld_register(card, kPldCounterFlagReset, 0); }

}  // extern "C"
