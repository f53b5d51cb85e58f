// What the processor offers the library: the packed integer instruction
// sets that the drawing routines may use.  Read once, from any thread.
// SetScreenMode records the answer in the screen's marks, so one screen
// never mixes plain and packed routines.
#pragma once
#include <cstdint>

namespace fb {

constexpr uint32_t CPU_SSE2 = 1;
constexpr uint32_t CPU_AVX2 = 2;

// What this processor offers (read once), masked by ForceCpuFeatures.
uint32_t CpuFeatures();
// Limits the features the library will use from the next screen opening
// on; tests and benchmarks use it to run the plain set.  ~0u restores all.
void ForceCpuFeatures(uint32_t mask);

}  // namespace fb
