// The bitmap loader: headers, palette, channel masks, the choice of the
// row converter and the plain (uncompressed) rows.  Every size derived
// from the file is computed in 64 bits and checked against the bytes the
// file actually holds before anything is allocated or written.
#include "bmp.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "bmp_decoder.h"
#include "path.h"
#include "../platform/driver.h"
#include "../platform/runtime.h"

namespace fb {

// ---- Reading -------------------------------------------------------------

bool ReadBytes(BmpSource& in, void* dst, size_t n) {
  if (in.pos > in.size || n > in.size - in.pos) return false;
  if (in.file) {
    // pos never exceeds size, which came from ftell, so it fits a long.
    if (in.filePos != in.pos && std::fseek(in.file, long(in.pos), SEEK_SET) != 0) return false;
    in.filePos = in.pos;
    size_t got = std::fread(dst, 1, n, in.file);
    in.filePos += got;
    if (got != n) return false;
  } else if (n > 0) {
    std::memcpy(dst, in.data + in.pos, n);
  }
  in.pos += n;
  return true;
}

bool ReadU8(BmpSource& in, uint8_t& v) { return ReadBytes(in, &v, 1); }

bool ReadU16(BmpSource& in, uint16_t& v) {
  uint8_t b[2];
  if (!ReadBytes(in, b, 2)) return false;
  v = uint16_t(b[0] | b[1] << 8);
  return true;
}

bool ReadU32(BmpSource& in, uint32_t& v) {
  uint8_t b[4];
  if (!ReadBytes(in, b, 4)) return false;
  v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return true;
}

void HandColorMapToDriver(const ScreenContext& s) {
  if (!s.driver || !s.driver->SetPalette) return;
  for (int i = 0; i < 256; ++i) {
    uint32_t e = s.colorMap[i];
    s.driver->SetPalette(i, int32_t(e & 0xFF), int32_t(e >> 8 & 0xFF), int32_t(e >> 16 & 0xFF));
  }
}

// ---- Channels ------------------------------------------------------------

BmpChannel MakeChannel(uint32_t mask) {
  BmpChannel c;
  c.mask = mask;
  // countr_zero of 0 would be 32, and a shift by 32 is undefined: an
  // empty mask keeps shift and width 0 and scales to 0.
  if (mask == 0) return c;
  c.shift = std::countr_zero(mask);
  c.width = 32 - std::countl_zero(mask) - c.shift;
  return c;
}

uint32_t ScaleChannel(const BmpChannel& c, uint32_t pixel, int bits) {
  if (c.width == 0) return 0;
  uint32_t v = (pixel >> c.shift) & (c.mask >> c.shift);
  int n = c.width;
  if (n > bits) return v >> (n - bits);
  // Repeating the top bits below fills the low end, so full scale stays
  // full scale (5-bit 31 -> 255); narrow channels only shift.
  uint32_t out = v << (bits - n);
  if (2 * n >= bits) out |= v >> (2 * n - bits);
  return out;
}

namespace {

constexpr uint32_t FILE_HEADER_SIZE = 14;
constexpr uint16_t BMP_MAGIC = 0x4D42;  // "BM"
constexpr uint32_t COMPRESSION_RLE8 = 1, COMPRESSION_RLE4 = 2,
                   COMPRESSION_BITFIELDS = 3;
constexpr BmpResult kUnsupported = BmpResult::Unsupported;

// ---- Row converters --------------------------------------------------------

template <int BPP>
void ConvertIndexed(const BmpDecoder& d, const uint8_t* src, uint8_t* dst, int64_t count) {
  for (int64_t x = 0; x < count; ++x) {
    uint32_t index;
    if (d.bits == 8)
      index = src[x];
    else if (d.bits == 4)
      index = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;  // first pixel in the top bits
    else
      index = (src[x >> 3] >> (7 - (x & 7))) & 0x01;
    StorePixel(dst + x * BPP, BPP, d.indexedValue[index]);
  }
}

template <int BPP>
void ConvertMasked(const BmpDecoder& d, const uint8_t* src, uint8_t* dst, int64_t count) {
  const int bytes = int(d.bits / 8);
  for (int64_t x = 0; x < count; ++x) {
    const uint8_t* p = src + x * bytes;
    uint32_t raw = p[0] | uint32_t(p[1]) << 8;
    if (bytes >= 3) raw |= uint32_t(p[2]) << 16;
    if (bytes == 4) raw |= uint32_t(p[3]) << 24;
    uint32_t value;
    if (BPP == 4) {
      uint32_t a = d.bits == 32 ? ScaleChannel(d.alpha, raw, 8) : 0xFF;
      value = a << 24 | ScaleChannel(d.red, raw, 8) << 16 | ScaleChannel(d.green, raw, 8) << 8 |
              ScaleChannel(d.blue, raw, 8);
    } else {
      value = ScaleChannel(d.red, raw, 5) << 11 | ScaleChannel(d.green, raw, 6) << 5 |
              ScaleChannel(d.blue, raw, 5);
    }
    StorePixel(dst + x * BPP, BPP, value);
  }
}

// ---- Steps ---------------------------------------------------------------

// The rest of the 14-byte file header; its first byte is already read.
BmpResult ReadFileHeader(BmpDecoder& d) {
  uint8_t second;
  uint32_t fileSize, reserved, offset;
  if (!ReadU8(d.in, second) || !ReadU32(d.in, fileSize) || !ReadU32(d.in, reserved) ||
      !ReadU32(d.in, offset))
    return kUnsupported;
  if (uint16_t('B' | second << 8) != BMP_MAGIC) return kUnsupported;
  d.dataOffset = offset;
  return BmpResult::Loaded;
}

// The fields of the info header that its size says are there, and the
// checks that make the rest of the decoder safe.
BmpResult ReadInfoHeader(BmpDecoder& d) {
  uint32_t size;
  if (!ReadU32(d.in, size)) return kUnsupported;
  if (size < 12 || (size > 12 && size < 16)) return kUnsupported;
  if (uint64_t(FILE_HEADER_SIZE) + size > d.in.size) return kUnsupported;
  d.headerSize = size;

  uint16_t planes, bits;
  if (size == 12) {
    uint16_t w, h;
    if (!ReadU16(d.in, w) || !ReadU16(d.in, h)) return kUnsupported;
    d.width = w;
    d.height = h;
  } else {
    uint32_t w, h;
    if (!ReadU32(d.in, w) || !ReadU32(d.in, h)) return kUnsupported;
    d.width = int32_t(w);
    d.height = int32_t(h);  // int64: -INT32_MIN is representable below
  }
  if (!ReadU16(d.in, planes) || !ReadU16(d.in, bits)) return kUnsupported;
  d.planes = planes;
  d.bits = bits;
  if (size >= 20 && !ReadU32(d.in, d.compression)) return kUnsupported;

  if (d.planes > 1 || d.width <= 0 || d.height == 0 || d.compression > COMPRESSION_BITFIELDS)
    return kUnsupported;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return kUnsupported;
  if (d.height < 0) {
    // Rows stored top to bottom cannot be run-length coded.
    if (d.compression == COMPRESSION_RLE8 || d.compression == COMPRESSION_RLE4)
      return kUnsupported;
    d.topDown = true;
    d.height = -d.height;
  }
  // Each coding belongs to one depth or two.  Bit fields describe 16- and
  // 32-bit pixels only; at other depths the value 3 stands for a coding
  // this loader does not read, and reading such rows as plain ones would
  // load garbage as success.
  if ((d.compression == COMPRESSION_RLE8 && bits != 8) ||
      (d.compression == COMPRESSION_RLE4 && bits != 4) ||
      (d.compression == COMPRESSION_BITFIELDS && bits != 16 && bits != 32))
    return kUnsupported;

  if (d.bits <= 8) d.paletteEntries = 1u << d.bits;
  if (d.dataOffset == 0)
    d.dataOffset = uint64_t(FILE_HEADER_SIZE) + size +
                   uint64_t(d.paletteEntries) * (size == 12 ? 3 : 4);
  return BmpResult::Loaded;
}

// 2^bits entries follow the info header, 3 or 4 bytes each.
BmpResult ReadPalette(BmpDecoder& d) {
  d.in.pos = uint64_t(FILE_HEADER_SIZE) + d.headerSize;
  const size_t entrySize = d.headerSize == 12 ? 3 : 4;
  for (uint32_t i = 0; i < d.paletteEntries; ++i) {
    uint8_t e[4];
    if (!ReadBytes(d.in, e, entrySize)) return kUnsupported;
    d.palette[i] = uint32_t(e[2]) | uint32_t(e[1]) << 8 | uint32_t(e[0]) << 16;
  }
  return BmpResult::Loaded;
}

BmpResult ReadMasks(BmpDecoder& d) {
  uint32_t r = 0, g = 0, b = 0, a = 0;
  if (d.compression == COMPRESSION_BITFIELDS) {
    // Headers of 52 bytes and more carry the red, green and blue masks
    // 40 bytes in, and from 56 bytes the alpha mask after them; shorter
    // headers (the 40-byte one) are followed by the three colour masks.
    d.in.pos = FILE_HEADER_SIZE + (d.headerSize >= 52 ? 40 : d.headerSize);
    if (!ReadU32(d.in, r) || !ReadU32(d.in, g) || !ReadU32(d.in, b)) return kUnsupported;
    if (d.headerSize >= 56 && !ReadU32(d.in, a)) return kUnsupported;
  } else if (d.bits == 16) {
    r = 0x7C00, g = 0x03E0, b = 0x001F;
  } else {
    r = 0xFF0000, g = 0xFF00, b = 0xFF, a = 0xFF000000;
  }
  d.red = MakeChannel(r);
  d.green = MakeChannel(g);
  d.blue = MakeChannel(b);
  d.alpha = MakeChannel(a);
  return BmpResult::Loaded;
}

// Copy size, target selection and row converter.
BmpResult ChooseTarget(BmpDecoder& d) {
  int64_t targetWidth = d.image ? int64_t(d.image->width) : d.screen->width;
  int64_t targetHeight = d.image ? int64_t(d.image->height) : d.screen->height;
  d.copyWidth = std::min(targetWidth, d.width);
  d.copyHeight = std::min(targetHeight, d.height);
  SelectTarget(*d.dc, d.image);
  ChoosePixelRoutines(*d.dc, 0xFF000000);
  d.targetBpp = d.dc->bpp;

  if (d.bits > 8) {
    if (d.targetBpp == 1) return BmpResult::BadCall;
    d.convert = d.targetBpp == 4 ? ConvertMasked<4> : ConvertMasked<2>;
    return BmpResult::Loaded;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t e = d.palette[i];
    Color c = 0xFF000000u | (e & 0xFF) << 16 | (e & 0xFF00) | (e >> 16 & 0xFF);
    d.indexedValue[i] = d.targetBpp == 1 ? (i & d.screen->colorMask) : ConvertColor(d.targetBpp, c);
  }
  d.convert = d.targetBpp == 4   ? ConvertIndexed<4>
              : d.targetBpp == 2 ? ConvertIndexed<2>
                                 : ConvertIndexed<1>;
  return BmpResult::Loaded;
}

// Under the screen lock: the palette goes to the caller, or into the
// colour map and on to the driver.
void StorePalette(BmpDecoder& d) {
  if (d.paletteOut) {
    for (uint32_t i = 0; i < d.paletteEntries; ++i)
      d.paletteOut[i] = (d.palette[i] >> 2) & 0x3F3F3F;
    return;
  }
  ScreenContext& s = *d.screen;
  for (uint32_t i = 0; i < d.paletteEntries; ++i) s.colorMap[i] = d.palette[i];
  if (d.paletteEntries > 0) s.paletteChanged = 1;
  HandColorMapToDriver(s);
}

// Uncompressed rows in storage order.  Each row must be whole in the file
// (a file that ends early is refused even where its missing rows would
// not be copied), but only the bytes of the copied pixels are read: the
// buffer is bounded by the target's width, however wide the file claims
// to be.
BmpResult ReadRows(BmpDecoder& d) {
  const uint64_t dataBytes = (uint64_t(d.width) * d.bits + 7) / 8;
  const uint64_t stride = (dataBytes + 3) & ~uint64_t(3);
  // Whole rows at 8 bits and more; at 1 and 4 bits the padding after the
  // last row may be missing.
  const uint64_t needed = d.bits >= 8 ? stride : dataBytes;
  const uint64_t copyBytes = (uint64_t(d.copyWidth) * d.bits + 7) / 8;
  std::vector<uint8_t> row(static_cast<size_t>(copyBytes));

  uint64_t rowStart = d.dataOffset;
  for (int64_t i = 0; i < d.height; ++i, rowStart += stride) {
    if (rowStart > d.in.size || needed > d.in.size - rowStart) return kUnsupported;
    int64_t y = d.topDown ? i : d.height - 1 - i;
    if (y >= d.copyHeight) continue;
    d.in.pos = rowStart;
    if (!ReadBytes(d.in, row.data(), row.size())) return kUnsupported;
    d.convert(d, row.data(), d.dc->rows[size_t(y)], d.copyWidth);
  }
  return BmpResult::Loaded;
}

BmpResult LoadBitmap(BmpDecoder& d) {
  BmpResult r;
  if ((r = ReadFileHeader(d)) != BmpResult::Loaded) return r;
  if ((r = ReadInfoHeader(d)) != BmpResult::Loaded) return r;
  if (d.bits <= 8 && (r = ReadPalette(d)) != BmpResult::Loaded) return r;
  if (d.bits > 8 && (r = ReadMasks(d)) != BmpResult::Loaded) return r;
  if ((r = ChooseTarget(d)) != BmpResult::Loaded) return r;

  ScreenLock();
  StorePalette(d);
  d.in.pos = d.dataOffset;
  bool rle = d.compression == COMPRESSION_RLE8 || d.compression == COMPRESSION_RLE4;
  r = rle ? DecodeRle(d) : ReadRows(d);
  MarkDirtyRows(*d.dc, 0, d.screen->height - 1);  // only when the screen's visible page
  ScreenUnlock(1, 0);
  return r;
}

// A header CreateImage could have made; anything else would send the rows
// somewhere the image does not own.
bool UsableImage(const Image* image) {
  return image->type == IMAGE_TYPE && (image->bpp == 1 || image->bpp == 2 || image->bpp == 4) &&
         image->width > 0 && image->height > 0 &&
         uint64_t(image->pitch) >= uint64_t(image->width) * image->bpp;
}

// The steps shared by both entries once the source is open.
BmpResult Load(BmpSource& in, Image* image, uint32_t* palette) {
  BmpDecoder d;
  d.in = in;
  d.image = image;
  d.paletteOut = palette;
  d.screen = Screen();
  d.dc = GetDrawContext();
  SelectTarget(*d.dc, nullptr);
  uint8_t first;
  if (!ReadU8(d.in, first)) return kUnsupported;
  if (first == 0xFD || first == 0xFE) return LoadRawDump(d, first);
  if (first != 'B') return kUnsupported;
  return LoadBitmap(d);
}

BmpResult Finish(BmpResult r) {
  SetLastError(int32_t(r));
  return r;
}

}  // namespace

BmpResult LoadBmpFromMemory(const uint8_t* data, size_t size, Image* image, uint32_t* palette) {
  if (!Screen() || (image && !UsableImage(image))) return Finish(BmpResult::BadCall);
  BmpSource in;
  in.data = data;
  in.size = data ? size : 0;
  return Finish(Load(in, image, palette));
}

BmpResult LoadBmp(const char* fileName, Image* image, uint32_t* palette) {
  // Images exist only while a screen is open, so no screen is a bad call
  // whether or not an image is given.
  if (!Screen() || (image && !UsableImage(image))) return Finish(BmpResult::BadCall);
  std::string path = NativePath(fileName);
  std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (!file) return Finish(BmpResult::CannotOpen);
  BmpSource in;
  in.file = file;
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  BmpResult r = BmpResult::Unsupported;
  if (size >= 0 && std::fseek(file, 0, SEEK_SET) == 0) {
    in.size = uint64_t(size);
    r = Load(in, image, palette);
  }
  std::fclose(file);
  return Finish(r);
}

}  // namespace fb
