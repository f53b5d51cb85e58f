// The per-pixel rules of the blit routines, shared by the plain set and
// the remainders of the packed sets so that every set computes the same
// pixels.  Everything here has internal linkage on purpose: the AVX2 file
// compiles it with -mavx2, and a shared inline copy could be the one the
// linker keeps for callers running on processors without AVX2.
#pragma once
#include <cstdint>
#include <cstring>

#include "color.h"

namespace fb {
namespace {

// Unaligned access: the blit routines take any start address.
inline uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void StoreU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint16_t LoadU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline void StoreU16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// The transparent colour at 4 bytes: only the low 24 bits count.
inline bool IsKey32(uint32_t s) { return (s & 0x00FFFFFFu) == TRANSPARENT_COLOR_32; }

// One byte of the result is d + floor((s - d) * a / 256) with a in
// 1..256.  Written as (s * a + d * (256 - a)) / 256 it needs no signed
// arithmetic: the numerator is d * 256 + (s - d) * a, which lies in
// 0..65280, so two bytes fit side by side in the 16-bit halves of a
// 32-bit word without carrying into each other.
inline uint32_t Blend32(uint32_t s, uint32_t d, uint32_t a) {
  const uint32_t ia = 256 - a;
  const uint32_t rb = (((s & 0x00FF00FFu) * a + (d & 0x00FF00FFu) * ia) >> 8) & 0x00FF00FFu;
  const uint32_t ag = (((s >> 8) & 0x00FF00FFu) * a + ((d >> 8) & 0x00FF00FFu) * ia) & 0xFF00FF00u;
  return rb | ag;
}

// 5-6-5 pixel spread over 32 bits with room for a factor of up to 32 in
// each field: blue in bits 0..4, red 11..15, green 21..26.  After the
// weighted sum the fields occupy 0..9, 11..20 and 21..31, still apart.
inline uint32_t Spread565(uint32_t p) { return (p & 0xF81Fu) | ((p & 0x07E0u) << 16); }
inline uint16_t Gather565(uint32_t v) { return uint16_t(v | (v >> 16)); }

// Each field becomes d + floor((s - d) * w / 32), w in 0..32, computed as
// (s * w + d * (32 - w)) / 32 like the 4-byte rule.
inline uint16_t Blend16(uint32_t s, uint32_t d, uint32_t w) {
  const uint32_t v = ((Spread565(s) * w + Spread565(d) * (32 - w)) >> 5) & 0x07E0F81Fu;
  return Gather565(v);
}

// The opacity of PutMode::Blend: alpha 0 draws nothing (the routines test
// that first), otherwise only its low byte counts.
inline uint32_t BlendFactor32(int32_t alpha) { return (uint32_t(alpha) & 0xFF) + 1; }
inline uint32_t BlendFactor16(int32_t alpha) { return ((uint32_t(alpha) & 0xFF) + 7) / 8; }

}  // namespace
}  // namespace fb
