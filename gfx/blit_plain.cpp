// The plain blit routines: one pixel (at 2 bytes a pair) per step, no
// packed instructions.  They define the pixels every other set must give.
// Callers clip: the routines touch exactly width x height pixels.
#include "blit.h"
#include "blit_pixel.h"

namespace fb {

namespace {

void Transparent8(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                  int dstPitch, int32_t, int32_t, int32_t) {
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch)
    for (int x = 0; x < width; ++x)
      if (src[x] != TRANSPARENT_COLOR_8) dst[x] = src[x];
}

void Transparent16(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t, int32_t, int32_t) {
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch)
    for (int x = 0; x < width; ++x) {
      const uint16_t s = LoadU16(src + 2 * x);
      if (s != TRANSPARENT_COLOR_16) StoreU16(dst + 2 * x, s);
    }
}

void Transparent32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t, int32_t, int32_t) {
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch)
    for (int x = 0; x < width; ++x) {
      const uint32_t s = LoadU32(src + 4 * x);
      if (!IsKey32(s)) StoreU32(dst + 4 * x, s & 0x00FFFFFFu);
    }
}

// A 1-byte image into the alpha bytes of a 4-byte target (the fourth
// byte of each little-endian pixel); the colour bytes stay.
void Alpha8To32(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                int dstPitch, int32_t, int32_t, int32_t) {
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch)
    for (int x = 0; x < width; ++x) dst[4 * x + 3] = src[x];
}

// Alpha 255 (a = 256) gives r = s exactly: a keyed copy keeping the
// source's alpha byte.
void Blend32Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                    int dstPitch, int32_t alpha, int32_t, int32_t) {
  if (alpha == 0) return;
  const uint32_t a = BlendFactor32(alpha);
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch)
    for (int x = 0; x < width; ++x) {
      const uint32_t s = LoadU32(src + 4 * x);
      if (IsKey32(s)) continue;
      StoreU32(dst + 4 * x, a == 256 ? s : Blend32(s, LoadU32(dst + 4 * x), a));
    }
}

// Two 5-6-5 pixels of one 32-bit load, blended side by side in the two
// halves of a 64-bit word (each half is a spread pixel, see Spread565).
// A transparent half keeps its destination pixel.
inline uint32_t BlendPair16(uint32_t s2, uint32_t d2, uint32_t w) {
  const uint64_t s = Spread565(s2 & 0xFFFF) | uint64_t(Spread565(s2 >> 16)) << 32;
  const uint64_t d = Spread565(d2 & 0xFFFF) | uint64_t(Spread565(d2 >> 16)) << 32;
  const uint64_t v = ((s * w + d * (32 - w)) >> 5) & 0x07E0F81F07E0F81Full;
  uint32_t out = uint32_t(Gather565(uint32_t(v))) | uint32_t(Gather565(uint32_t(v >> 32))) << 16;
  if ((s2 & 0xFFFF) == TRANSPARENT_COLOR_16) out = (out & 0xFFFF0000u) | (d2 & 0xFFFF);
  if ((s2 >> 16) == TRANSPARENT_COLOR_16) out = (out & 0xFFFF) | (d2 & 0xFFFF0000u);
  return out;
}

void Blend16Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                    int dstPitch, int32_t alpha, int32_t, int32_t) {
  if (alpha == 0) return;
  const uint32_t w = BlendFactor16(alpha);
  for (int y = 0; y < height; ++y, src += srcPitch, dst += dstPitch) {
    int x = 0;
    if (width & 1) {  // a single leading pixel, then pairs
      const uint16_t s = LoadU16(src);
      if (s != TRANSPARENT_COLOR_16) StoreU16(dst, Blend16(s, LoadU16(dst), w));
      x = 1;
    }
    for (; x < width; x += 2) {
      const uint32_t s2 = LoadU32(src + 2 * x);
      if (s2 == (TRANSPARENT_COLOR_16 | TRANSPARENT_COLOR_16 << 16)) continue;
      StoreU32(dst + 2 * x, BlendPair16(s2, LoadU32(dst + 2 * x), w));
    }
  }
}

// At 1 byte there is nothing to blend with: Blend is a keyed copy, and
// like every Blend draws nothing at alpha 0.
void Blend8Routine(const uint8_t* src, uint8_t* dst, int width, int height, int srcPitch,
                   int dstPitch, int32_t alpha, int32_t param, int32_t extra) {
  if (alpha == 0) return;
  Transparent8(src, dst, width, height, srcPitch, dstPitch, alpha, param, extra);
}

const BlitTable PLAIN_TRANSPARENT = {{Transparent8, Transparent16, nullptr, Transparent32}};
const BlitTable PLAIN_ALPHA = {{nullptr, nullptr, nullptr, Alpha8To32}};
const BlitTable PLAIN_BLEND = {{Blend8Routine, Blend16Routine, nullptr, Blend32Routine}};

}  // namespace

const BlitTable* PlainBlitTable(PutMode mode) {
  switch (mode) {
    case PutMode::Transparent: return &PLAIN_TRANSPARENT;
    case PutMode::Alpha: return &PLAIN_ALPHA;
    case PutMode::Blend: return &PLAIN_BLEND;
  }
  return nullptr;
}

}  // namespace fb
