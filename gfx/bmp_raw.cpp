// Raw dumps: memory images written out byte for byte.  A first byte 0xFD
// is followed by 4 ignored bytes and a 16-bit length, 0xFE by a 32-bit
// length; then come length bytes of memory.
//
// Into an image the bytes cover the image from its header on.  The dump's
// header bytes are skipped rather than copied: a header taken from a file
// could claim any size or pitch and turn every later operation on the
// image into a write outside it.  The pixel bytes are capped at the
// image's rows.  Onto the screen the bytes fill the work page (at most
// height x pitch of them), and a palette of 2^depth red, green, blue
// triples may follow at depths up to 8.  A file shorter than its length
// is not an error.
#include <algorithm>

#include "bmp_decoder.h"

namespace fb {

namespace {

constexpr uint64_t RAW_HEADER_BYTES = sizeof(Image);

// Copies up to limit bytes of the next length bytes to dst, never past the
// end of the source.  false: a read failed inside the source.
bool CopyAvailable(BmpSource& in, uint8_t* dst, uint64_t length, uint64_t limit) {
  uint64_t available = in.pos <= in.size ? in.size - in.pos : 0;
  uint64_t n = std::min({length, limit, available});
  return ReadBytes(in, dst, size_t(n));
}

BmpResult RawIntoImage(BmpDecoder& d, uint64_t length) {
  Image& image = *d.image;
  uint64_t skip = std::min(length, RAW_HEADER_BYTES);
  d.in.pos += skip;
  uint64_t pixelBytes = uint64_t(image.height) * image.pitch;
  if (!CopyAvailable(d.in, ImagePixels(&image), length - skip, pixelBytes))
    return BmpResult::Unsupported;
  return BmpResult::Loaded;
}

BmpResult RawOntoScreen(BmpDecoder& d, uint64_t length) {
  ScreenContext& s = *d.screen;
  const uint64_t start = d.in.pos;
  uint64_t pageBytes = uint64_t(s.height) * uint64_t(s.pitch);
  if (!CopyAvailable(d.in, s.pages[d.dc->workPage], length, pageBytes))
    return BmpResult::Unsupported;
  MarkDirtyRows(*d.dc, 0, s.height - 1);
  if (s.depth > 8) return BmpResult::Loaded;

  d.in.pos = start + length;
  uint32_t entries = 1u << s.depth;
  uint32_t read = 0;
  for (; read < entries; ++read) {
    uint8_t rgb[3];
    if (!ReadBytes(d.in, rgb, 3)) break;  // the palette is optional
    uint32_t entry = uint32_t(rgb[0]) | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]) << 16;
    // Dump palettes hold 6-bit components.
    if (d.paletteOut)
      d.paletteOut[read] = entry;
    else
      s.colorMap[read] = (entry << 2) & 0xFCFCFC;
  }
  if (read > 0 && !d.paletteOut) {
    s.paletteChanged = 1;
    HandColorMapToDriver(s);
  }
  return BmpResult::Loaded;
}

}  // namespace

BmpResult LoadRawDump(BmpDecoder& d, uint8_t kind) {
  uint64_t length;
  if (kind == 0xFD) {
    uint32_t ignored;
    uint16_t length16;
    if (!ReadU32(d.in, ignored) || !ReadU16(d.in, length16)) return BmpResult::Unsupported;
    length = length16;
  } else {
    uint32_t length32;
    if (!ReadU32(d.in, length32)) return BmpResult::Unsupported;
    length = length32;
  }
  SelectTarget(*d.dc, d.image);
  ScreenLock();
  BmpResult r = d.image ? RawIntoImage(d, length) : RawOntoScreen(d, length);
  ScreenUnlock(1, 0);
  return r;
}

}  // namespace fb
