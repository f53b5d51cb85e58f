// Number conversions the game's rules share: rounding halves to even and
// narrowing to 32-bit integers without undefined behaviour.
#pragma once
#include <cmath>
#include <cstdint>

namespace shooter {

// v narrowed to a 32-bit integer, clamped to its range; NaN gives 0.
inline int32_t SaturateToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(v);
}

// Nearest integer, halves to the even neighbour (the default rounding
// mode), clamped to the 32-bit range.
inline int32_t RoundHalfEven(double v) { return SaturateToInt32(std::nearbyint(v)); }

}  // namespace shooter
