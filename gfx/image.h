// Image buffers: a 32-byte header followed by rows padded to 16 bytes.
// CreateImage needs an open screen (it takes the screen's depth by default
// and selects the new image as the calling thread's target); DestroyImage
// may be called at any time for an image no thread has as its target.
#pragma once
#include <cstddef>
#include <cstdint>

#include "color.h"

namespace fb {

constexpr uint32_t IMAGE_TYPE = 7;

// Largest image accepted by CreateImage: 32768 pixels a side and 1 GiB of
// pixel data.  No real picture comes near either; the limits keep every
// size computation far from overflow on 32- and 64-bit hosts.
constexpr int32_t IMAGE_MAX_SIDE = 32768;
constexpr uint64_t IMAGE_MAX_BYTES = uint64_t(1) << 30;

// The header of an image.  A handle to an image is the address of its
// header, a block from AllocAligned16 (platform/runtime.h).
struct Image {
  uint32_t type;       // always IMAGE_TYPE
  uint32_t bpp;        // bytes per pixel: 1, 2 or 4
  uint32_t width;      // pixels per row, > 0
  uint32_t height;     // rows, > 0
  uint32_t pitch;      // bytes from one row to the next, a multiple of 16
  uint32_t reserved0;
  uint64_t reserved1;  // zero at creation
};
static_assert(sizeof(Image) == 32);
static_assert(offsetof(Image, type) == 0 && offsetof(Image, bpp) == 4 &&
              offsetof(Image, width) == 8 && offsetof(Image, height) == 12 &&
              offsetof(Image, pitch) == 16 && offsetof(Image, reserved1) == 24);

// First pixel of row 0.
inline uint8_t* ImagePixels(Image* image) { return reinterpret_cast<uint8_t*>(image) + sizeof(Image); }
inline const uint8_t* ImagePixels(const Image* image) {
  return reinterpret_cast<const uint8_t*>(image) + sizeof(Image);
}

// Creates an image of width x height.  depth <= 0 takes the screen's bytes
// per pixel, otherwise (depth + 7) / 8 must be 1, 2 or 4.  flags < 0 fills
// the image (row padding included) with the transparent colour of its depth,
// otherwise with colour converted to the depth.  Returns nullptr with no
// screen open, a size below 1 or above the limits, an unusable depth, or no
// memory.  Sets the last error number (0 or 1).
Image* CreateImage(int32_t width, int32_t height, Color colour, int32_t depth, int32_t flags);

// Frees an image made by CreateImage.  nullptr is ignored.
void DestroyImage(Image* image);

}  // namespace fb
