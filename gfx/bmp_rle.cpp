// Run-length coded bitmaps: 8-bit files with compression 1 and 4-bit
// files with compression 2, always stored bottom-up.
//
// The data is a sequence of two-byte codes.  A non-zero first byte is a
// run of that many pixels of the second byte's index (at 4 bits the two
// nibbles alternate, top nibble first).  A zero first byte is an escape:
// 0 ends the line, 1 ends the bitmap, 2 moves right and up by the next two
// bytes, and 3..255 is that many literal indices, padded to an even number
// of bytes.
//
// Bounds: pixels of a run or literal that fall past the right edge are
// dropped (their bytes are still consumed), so a row never spills into the
// next.  A move that would leave the image (right of the right edge, or
// above the last row) refuses the file with Unsupported, like a file that
// ends early; rows already decoded stay.  Pixels the data skips (by a move
// or an early end of line) keep what the target held, which for a new
// image is its transparent fill.
#include "bmp_decoder.h"

#include <algorithm>

namespace fb {

namespace {

// Pixels [x, x + count) of file row y, given by index(k) for k counted from
// the start of the code, clipped to the copied part of the target.
template <typename IndexOf>
void PutPixels(const BmpDecoder& d, int64_t x, int64_t y, int64_t count, IndexOf index) {
  int64_t row = d.height - 1 - y;  // file rows run bottom-up
  if (row < 0 || row >= d.copyHeight) return;
  int64_t end = std::min(x + count, d.copyWidth);
  uint8_t* dst = d.dc->rows[size_t(row)];
  for (int64_t px = x; px < end; ++px)
    StorePixel(dst + px * d.targetBpp, d.targetBpp, d.indexedValue[index(px - x)]);
}

}  // namespace

BmpResult DecodeRle(BmpDecoder& d) {
  const bool nibbles = d.bits == 4;
  int64_t x = 0, y = 0;  // y counts file rows from the bottom
  for (;;) {
    uint8_t count, value;
    if (!ReadU8(d.in, count) || !ReadU8(d.in, value)) return BmpResult::Unsupported;
    if (count > 0) {
      PutPixels(d, x, y, count, [&](int64_t k) -> uint8_t {
        if (!nibbles) return value;
        return (k & 1) ? (value & 0x0F) : (value >> 4);
      });
      x += count;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      if (++y >= d.height) return BmpResult::Loaded;
    } else if (value == 1) {  // end of bitmap
      return BmpResult::Loaded;
    } else if (value == 2) {  // move
      uint8_t dx, dy;
      if (!ReadU8(d.in, dx) || !ReadU8(d.in, dy)) return BmpResult::Unsupported;
      x += dx;
      y += dy;
      if (x > d.width || y >= d.height) return BmpResult::Unsupported;
    } else {  // literal indices
      uint8_t literal[256];
      size_t bytes = nibbles ? (value + 1u) / 2 : value;
      size_t padded = (bytes + 1) & ~size_t(1);
      if (!ReadBytes(d.in, literal, padded)) return BmpResult::Unsupported;
      PutPixels(d, x, y, value, [&](int64_t k) -> uint8_t {
        if (!nibbles) return literal[k];
        uint8_t b = literal[k >> 1];
        return (k & 1) ? (b & 0x0F) : (b >> 4);
      });
      x += value;
    }
  }
}

}  // namespace fb
