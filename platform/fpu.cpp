#include "platform/fpu.h"

namespace nimbus {

#if defined(__i386__) || defined(__x86_64__)

std::uint16_t GetFPUControlWord() {
  std::uint16_t word = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(word));
  return word;
}

void SetFPUControlWord(std::uint16_t word) {
  __asm__ __volatile__("fldcw %0" : : "m"(word));
}

#else

std::uint16_t GetFPUControlWord() {
  return 0;
}
void SetFPUControlWord(std::uint16_t) {}

#endif

std::uint16_t DefaultFPUControlWord() {
  static const std::uint16_t word = GetFPUControlWord();
  return word;
}

void RestoreDefaultFPUControlWord() {
  SetFPUControlWord(DefaultFPUControlWord());
}

void SetExtendedFPUPrecision() {
  DefaultFPUControlWord(); // record the default before the first change
  SetFPUControlWord(static_cast<std::uint16_t>(GetFPUControlWord() | 0x0300));
}

} // namespace nimbus
