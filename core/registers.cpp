#include "core/registers.h"

#include <mutex>

#include "core/card_table.h"
#include "core/transfer.h"
#include "kpx4160.h"

namespace kpx::core {

RegisterTransaction::RegisterTransaction() { RegisterLock().lock(); }
RegisterTransaction::~RegisterTransaction() { RegisterLock().unlock(); }

void WritePclCommand(uint16_t card, uint16_t base, uint16_t code) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return;
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclCommandPort, base), code);
}

uint16_t ReadPclMainStatus(uint16_t card, uint16_t base) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return 0;
  return ReadSpace16(*r, kRegisterSpace, PclPort(kPclCommandPort, base));
}

void WritePclRegister16(uint16_t card, uint16_t base, uint16_t write_code, uint16_t value) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return;
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclDataLowPort, base), value);
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclCommandPort, base), write_code);
}

void WritePclRegister32(uint16_t card, uint16_t base, uint16_t write_code, uint32_t value) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return;
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclDataLowPort, base), static_cast<uint16_t>(value));
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclDataHighPort, base), static_cast<uint16_t>(value >> 16));
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclCommandPort, base), write_code);
}

uint16_t ReadPclRegister16(uint16_t card, uint16_t base, uint16_t read_code) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return 0;
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclCommandPort, base), read_code);
  return ReadSpace16(*r, kRegisterSpace, PclPort(kPclDataLowPort, base));
}

uint32_t ReadPclRegister32(uint16_t card, uint16_t base, uint16_t read_code) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return 0;
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclCommandPort, base), read_code);
  const uint32_t high = ReadSpace16(*r, kRegisterSpace, PclPort(kPclDataHighPort, base));
  const uint32_t low = ReadSpace16(*r, kRegisterSpace, PclPort(kPclDataLowPort, base));
  return high << 16 | low;
}

uint32_t ModifyPclRegister(uint16_t card, uint16_t base, uint16_t read_code, uint16_t write_code, uint32_t keep_mask,
                           uint32_t set_bits) {
  const RegisterTransaction transaction;
  const uint32_t v = (ReadPclRegister32(card, base, read_code) & keep_mask) | set_bits;
  WritePclRegister32(card, base, write_code, v);
  return v;
}

uint32_t ModifyPldRegister(uint16_t card, uint16_t offset, uint32_t keep_mask, uint32_t set_bits) {
  const RegisterTransaction transaction;
  const uint32_t v = (read_dword_pld_register(card, offset) & keep_mask) | set_bits;
  write_dword_pld_register(card, offset, v);
  return v;
}

}  // namespace kpx::core

using namespace kpx::core;

extern "C" {

void write_word_pcl_otpw(uint16_t card, uint16_t base, uint16_t value) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return;
  WriteSpace16(*r, kRegisterSpace, PclPort(kPclOtpwPort, base), value);
}

uint16_t read_word_pcl_sstsw(uint16_t card, uint16_t base) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return 0;
  return ReadSpace16(*r, kRegisterSpace, PclPort(kPclOtpwPort, base));
}

void write_dword_pld_register(uint16_t card, uint16_t offset, uint32_t value) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return;
  WriteSpace32(*r, kRegisterSpace, offset, value);
}

uint32_t read_dword_pld_register(uint16_t card, uint16_t offset) {
  const LockedCard locked(card);
  kpx::device::CardRecord *r = locked.get();
  if (r == nullptr) return 0;
  return ReadSpace32(*r, kRegisterSpace, offset);
}


void k4160_write_pcl_register(uint16_t card, uint16_t chip_axis, uint16_t write_code, uint32_t value) {
  WritePclRegister32(card, static_cast<uint16_t>(chip_axis * 8), write_code, value);
}

uint32_t k4160_read_pcl_register(uint16_t card, uint16_t chip_axis, uint16_t read_code) {
  return ReadPclRegister32(card, static_cast<uint16_t>(chip_axis * 8), read_code);
}

}  // extern "C"
