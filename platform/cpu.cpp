#include "cpu.h"

#include <atomic>

namespace fb {

namespace {

uint32_t DetectCpu() {
  uint32_t features = 0;
#if defined(__x86_64__) || defined(_M_X64)
  features |= CPU_SSE2;  // part of the x86-64 base
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) features |= CPU_AVX2;
#endif
  return features;
}

std::atomic<uint32_t> featureMask{~0u};

}  // namespace

uint32_t CpuFeatures() {
  static const uint32_t detected = DetectCpu();
  return detected & featureMask.load(std::memory_order_relaxed);
}

void ForceCpuFeatures(uint32_t mask) { featureMask.store(mask, std::memory_order_relaxed); }

}  // namespace fb
