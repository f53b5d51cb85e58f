// Inside the bitmap loader: the decoder record and its steps, shared by
// gfx/bmp.cpp (headers, palette, masks, plain rows), gfx/bmp_rle.cpp
// (run-length data) and gfx/bmp_raw.cpp (raw dumps).  Not for callers
// outside the loader, except LoadBmpFromMemory, which the fuzz target and
// tests use to skip the file system.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bmp.h"
#include "context.h"
#include "../platform/screen.h"

namespace fb {

// The bytes of a file, or of a block in memory.  Every read is checked
// against size; a read that cannot be completed fails and reads nothing
// further.
struct BmpSource {
  std::FILE* file = nullptr;      // the open file, or nullptr for memory
  const uint8_t* data = nullptr;  // the memory block when file is nullptr
  uint64_t size = 0;              // bytes available
  uint64_t pos = 0;               // next byte to read
  uint64_t filePos = 0;           // where the FILE's own position is
};

// Reads exactly n bytes at pos; false (and pos unchanged) when the source
// ends first or the read fails.
bool ReadBytes(BmpSource& in, void* dst, size_t n);
// Little-endian helpers on top of ReadBytes.
bool ReadU8(BmpSource& in, uint8_t& v);
bool ReadU16(BmpSource& in, uint16_t& v);
bool ReadU32(BmpSource& in, uint32_t& v);

// One colour channel of a file of more than 8 bits per pixel.
struct BmpChannel {
  uint32_t mask = 0;
  int shift = 0;  // trailing zero bits of mask
  int width = 0;  // bits from the lowest set bit of mask up to the highest
};

// Builds a channel from its mask; an empty mask gives width 0.
BmpChannel MakeChannel(uint32_t mask);
// The channel of a file pixel, scaled from its width to bits bits.
uint32_t ScaleChannel(const BmpChannel& c, uint32_t pixel, int bits);

struct BmpDecoder;
// Converts count file pixels of one row to the target's depth.
using BmpRowConverter = void (*)(const BmpDecoder& d, const uint8_t* src, uint8_t* dst,
                                 int64_t count);

struct BmpDecoder {
  BmpSource in;
  Image* image = nullptr;        // nullptr: the screen
  uint32_t* paletteOut = nullptr;
  ScreenContext* screen = nullptr;
  DrawContext* dc = nullptr;

  // From the headers.
  uint64_t dataOffset = 0;  // 64 bits: the 0 rule adds to a 32-bit header size
  uint32_t headerSize = 0;
  int64_t width = 0, height = 0;  // height made positive
  bool topDown = false;
  uint32_t planes = 0, bits = 0, compression = 0;

  // The file's palette as 0x00BBGGRR.  All 256 entries exist and those the
  // file does not give are black, so every index has a defined colour.
  uint32_t palette[256] = {};
  uint32_t paletteEntries = 0;
  BmpChannel red, green, blue, alpha;

  // The part of the file that is copied and where it goes.
  int64_t copyWidth = 0, copyHeight = 0;
  int targetBpp = 0;
  BmpRowConverter convert = nullptr;
  // Target values of the 256 palette indices, for indexed files.
  uint32_t indexedValue[256] = {};
};

// Loads a bitmap or raw dump held in memory, exactly as LoadBmp loads a
// file.  data may be nullptr when size is 0.
BmpResult LoadBmpFromMemory(const uint8_t* data, size_t size, Image* image, uint32_t* palette);

// Decodes the run-length data of an 8-bit (compression 1) or 4-bit
// (compression 2) file into the target.  Needs the headers read, the
// target selected and the converter chosen; the source is at the data.
BmpResult DecodeRle(BmpDecoder& d);

// Loads a raw dump; the source is just after its first byte (0xFD or
// 0xFE), which is passed as kind.
BmpResult LoadRawDump(BmpDecoder& d, uint8_t kind);

// Hands all 256 colour-map entries (8-bit components) to the driver's
// SetPalette, when it has one.  Call with the screen lock held.
void HandColorMapToDriver(const ScreenContext& s);

// Writes a pixel value of bpp bytes at dst in the host's order, as the
// pixel routines do.
inline void StorePixel(uint8_t* dst, int bpp, uint32_t value) {
  if (bpp == 4) {
    std::memcpy(dst, &value, 4);
  } else if (bpp == 2) {
    uint16_t v = uint16_t(value);
    std::memcpy(dst, &v, 2);
  } else {
    dst[0] = uint8_t(value);
  }
}

}  // namespace fb
