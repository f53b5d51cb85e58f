// Image buffers: a 32-byte header followed by rows padded to 16 bytes,
// and the sprite runs an image may keep beside it.  CreateImage needs an
// open screen (it takes the screen's depth by default and selects the new
// image as the calling thread's target); DestroyImage may be called at any
// time for an image no thread has as its target.  Sprite runs are made,
// used and dropped on the program's thread.
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
  // The image's sprite runs (below), an address, and the low 32 bits of
  // the header's own address beside it: a header copied elsewhere is not
  // the image the runs describe.  Both zero at creation and while the
  // image keeps no runs.
  uint32_t runsOwner;
  uint64_t spriteRuns;
};
static_assert(sizeof(Image) == 32);
static_assert(offsetof(Image, type) == 0 && offsetof(Image, bpp) == 4 &&
              offsetof(Image, width) == 8 && offsetof(Image, height) == 12 &&
              offsetof(Image, pitch) == 16 && offsetof(Image, runsOwner) == 20 &&
              offsetof(Image, spriteRuns) == 24);

// Sprite runs: the opaque and transparent runs of each row of an image,
// found once, so that a keyed put (PutMode::Transparent, or
// PutMode::Blend where it leaves every opaque pixel as the image's own:
// alpha 255, 249..255 at 2 bytes per pixel, any but 0 at 1 byte) copies
// the opaque runs and neither reads the target nor tests the transparent
// colour.  The pixels it leaves are the same, bit for bit, with runs and
// without.
//
// Runs are made only on request, for an image that a program will put
// many times and not change: a sprite.  They describe the pixels as they
// were at KeepSpriteRuns and are never used once the pixels may differ:
// - every library write to the image drops them: any drawing operation
//   with the image as its target (PutImage onto it, also of itself,
//   pixels, lines, circles, text), LoadBmp into it, a run of dots on it;
// - ImagePixels of a writable image drops them, so a program that changes
//   pixels through the address it gets finds the image without runs.
//   Reading through the const form keeps them.
// What the library cannot see is a write through an address taken before
// the runs were made: a program that keeps such an address and writes
// through it asks for the runs again afterwards (or drops them first).
// A put without runs takes the ordinary way to the same pixels.

// Finds the runs of image and keeps them, replacing any it had.  Returns
// 0, or 1 (also the last error) with the image left without runs when it
// is nullptr, not an image this library made (or shaped as one), or memory
// is short.  Needs no screen.
int32_t KeepSpriteRuns(Image* image);
// Frees the image's runs, if it has any; nullptr is ignored.
void DropSpriteRuns(Image* image);
// Whether the image keeps runs that PutImage may use.
bool HasSpriteRuns(const Image* image);

// First pixel of row 0.  The writable form drops the image's sprite runs.
inline uint8_t* ImagePixels(Image* image) {
  if (image->spriteRuns) DropSpriteRuns(image);
  return reinterpret_cast<uint8_t*>(image) + sizeof(Image);
}
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

// Frees an image made by CreateImage, and its sprite runs.  nullptr is
// ignored.
void DestroyImage(Image* image);

}  // namespace fb
