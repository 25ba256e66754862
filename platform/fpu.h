#pragma once

#include <cstdint>

namespace nimbus {

// The x87 floating-point control word. Where the processor has none, Get
// returns 0 and Set does nothing.
std::uint16_t GetFPUControlWord();
void SetFPUControlWord(std::uint16_t word);

// The control word the process started with, recorded on first use (the
// access layer's start-up makes that first use happen early).
std::uint16_t DefaultFPUControlWord();
// Puts the recorded default back; client libraries may change it.
void RestoreDefaultFPUControlWord();

// Precision control (bits 8 and 9) set to extended precision, other bits kept.
void SetExtendedFPUPrecision();

} // namespace nimbus
