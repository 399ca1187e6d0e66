// What card and library an application talks to: plain PLD reads and formatting.
#include <cstdint>

#include "kpx4160.h"

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kNullPointer = -1;

// PLD registers holding the card's identity.
constexpr uint16_t kPldIdentificationWord = 0x60;  // low 16 bits form the serial number
constexpr uint16_t kPldCompanyInfoFirst = 0x64;    // five maker words, 0x64..0x74
constexpr uint16_t kCompanyInfoWords = 5;
constexpr uint16_t kPldFirmwareVersionWord = 0x74;  // ASCII digits in bytes 2, 1, 0

constexpr uint32_t kLibraryVersionFirst = 10000;
constexpr uint32_t kLibraryVersionSecond = 10001;
constexpr uint32_t kProductCode = 4160;

uint32_t ByteReversed(uint32_t w) {
  return (w & 0xFFu) << 24 | (w & 0xFF00u) << 8 | (w >> 8 & 0xFF00u) | w >> 24;
}

}  // namespace

extern "C" {

int32_t k4160_read_company_information(uint16_t card, uint32_t *info) {
  if (info == nullptr) return kNullPointer;
  for (uint16_t i = 0; i < kCompanyInfoWords; ++i)
    info[i] = ByteReversed(read_dword_pld_register(card, static_cast<uint16_t>(kPldCompanyInfoFirst + 4 * i)));
  return kOk;
}

int32_t k4160_read_password(uint16_t card, uint32_t *word) {
  if (word == nullptr) return kNullPointer;
  *word = read_dword_pld_register(card, kPldIdentificationWord);
  return kOk;
}

int32_t k4160_get_sn(uint16_t card, char *sn) {
  if (sn == nullptr) return kNullPointer;
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  uint32_t w = 0;
  k4160_read_password(card, &w);
  sn[0] = 'V';
  sn[1] = 'E';
  sn[2] = 'V';
  sn[3] = '0';
  for (int i = 0; i < 4; ++i) sn[4 + i] = kHexDigits[(w >> (12 - 4 * i)) & 0xF];
  return kOk;
}

int32_t k4160_get_lib_version(uint32_t *first, uint32_t *second) {
  if (first == nullptr || second == nullptr) return kNullPointer;
  *first = kLibraryVersionFirst;
  *second = kLibraryVersionSecond;
  return kOk;
}

int32_t k4160_get_hard_version(uint16_t card, uint32_t *product, uint32_t *firmware, uint32_t *reserved, char *sn) {
  (void)reserved;
  if (product == nullptr || firmware == nullptr || sn == nullptr) return kNullPointer;
  *product = kProductCode;
  const uint32_t w = read_dword_pld_register(card, kPldFirmwareVersionWord);
  // Raw character arithmetic: "1.2" gives 120, "123" gives 123.
  const uint32_t c2 = w >> 16 & 0xFF, c1 = w >> 8 & 0xFF, c0 = w & 0xFF;
  if (c1 == '.')
    *firmware = 100 * (c2 - 0x30) + 10 * (c0 - 0x30);
  else
    *firmware = 100 * (c2 - 0x30) + 10 * (c1 - 0x30) + (c0 - 0x30);
  return k4160_get_sn(card, sn);
}

}  // extern "C"
