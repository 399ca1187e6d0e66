// The two PWM outputs of the card: a period count, a high-time count and an
// enable, written in that order so the output starts with consistent counts.
#include "io/pwm.h"

#include <cmath>

#include "kpx4160.h"
#include "motion/conversions.h"

namespace kpx::io {
namespace {

constexpr double kPwmClockHz = 33487800.0;
constexpr double kMinFrequency = 1000.0;
constexpr double kMaxFrequency = 180000.0;

struct PwmRegisters {
  uint16_t enable, period, high;
};
constexpr PwmRegisters kPwm1{0xC0, 0xC4, 0xC8};
constexpr PwmRegisters kPwm2{0xCC, 0xD0, 0xD4};

int32_t ConfigurePwm(const PwmRegisters &regs, uint16_t card, uint16_t enable, double frequency, double duty) {
  const PwmCounts c = ComputePwmCounts(frequency, duty);
  write_dword_pld_register(card, regs.period, c.period);
  write_dword_pld_register(card, regs.high, c.high);
  write_dword_pld_register(card, regs.enable, enable != 0 ? 1u : 0u);
  return 0;
}

}  // namespace

PwmCounts ComputePwmCounts(double frequency, double duty) {
  double f = frequency;
  if (f < kMinFrequency) f = kMinFrequency;
  if (f > kMaxFrequency) f = kMaxFrequency;
  // A NaN frequency passes neither clamp: its period is the conversion of a
  // value that is not finite, -2147483648 (0x80000000). Otherwise at most
  // 33488 counts (1000 Hz).
  const int64_t period = motion::Trunc32(kPwmClockHz / f + 1.0);
  int64_t high;
  if (duty < 0.0 || duty == 0.0) {
    high = 1;  // the shortest high time
  } else if (duty >= 1.0) {
    high = period - 1;
  } else {
    high = motion::Trunc32(static_cast<double>(period) * duty);  // NaN: -2147483648 as well
  }
  return {motion::Low32(period), motion::Low32(high)};
}

}  // namespace kpx::io

extern "C" {

int32_t k4160_config_PWM_PIN(uint16_t card, uint16_t enable, double frequency, double duty) {
  return kpx::io::ConfigurePwm(kpx::io::kPwm1, card, enable, frequency, duty);
}

int32_t k4160_config_PWM2_PIN(uint16_t card, uint16_t enable, double frequency, double duty) {
  return kpx::io::ConfigurePwm(kpx::io::kPwm2, card, enable, frequency, duty);
}

}  // extern "C"
