#include "surface_convert.h"

#include <bit>
#include <cstring>

namespace fb {

namespace {

// Framebuffer pixel i as 0xRRGGBB.
uint32_t RgbOf32(const uint8_t* row, int32_t i) {
  uint32_t p;
  std::memcpy(&p, row + size_t(i) * 4, 4);
  return p & 0xFFFFFF;
}

// 5-6-5 widened to 8 bits a channel, the top bits repeated below so that
// full intensity stays full.
uint32_t RgbOf565(const uint8_t* row, int32_t i) {
  uint16_t p;
  std::memcpy(&p, row + size_t(i) * 2, 2);
  const uint32_t r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
  return ((r << 3) | (r >> 2)) << 16 | ((g << 2) | (g >> 4)) << 8 | ((b << 3) | (b >> 2));
}

// 0xRRGGBB as a display pixel.
template <int Bits, bool RedLow>
uint32_t Pack(uint32_t rgb) {
  const uint32_t red = (rgb >> 16) & 0xFF, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
  const uint32_t high = RedLow ? blue : red, low = RedLow ? red : blue;
  if constexpr (Bits == 16) return (high >> 3) << 11 | (green >> 2) << 5 | low >> 3;
  if constexpr (Bits == 15) return (high >> 3) << 10 | (green >> 3) << 5 | low >> 3;
  return high << 16 | green << 8 | low;  // 24 and 32
}

template <int Bits>
constexpr int BYTES = Bits == 15 ? 2 : Bits / 8;

// Writes width pixels, each scale times, from pixelOf(in, i).
template <int Bits, typename PixelOf>
void WriteRow(const uint8_t* in, uint8_t* out, int32_t width, int32_t scale, PixelOf pixelOf) {
  constexpr int bytes = BYTES<Bits>;
  for (int32_t i = 0; i < width; ++i) {
    const uint32_t pixel = pixelOf(in, i);
    for (int32_t k = 0; k < scale; ++k, out += bytes) {
      if constexpr (bytes == 3) {
        out[0] = uint8_t(pixel);
        out[1] = uint8_t(pixel >> 8);
        out[2] = uint8_t(pixel >> 16);
      } else if constexpr (bytes == 2) {
        const uint16_t half = uint16_t(pixel);
        std::memcpy(out, &half, 2);
      } else {
        std::memcpy(out, &pixel, 4);
      }
    }
  }
}

template <int FramebufferBpp, int Bits, bool RedLow>
void ConvertRow(const uint8_t* in, uint8_t* out, int32_t width, int32_t scale,
                const uint32_t* palette) {
  if constexpr (FramebufferBpp == 1) {
    WriteRow<Bits>(in, out, width, scale, [palette](const uint8_t* row, int32_t i) {
      return palette[row[i]];
    });
  } else {
    // The display's own format: the row as it is (a 32-bit display ignores
    // the alpha byte).
    constexpr bool same = !RedLow && Bits == (FramebufferBpp == 2 ? 16 : 32);
    if (same && scale == 1) {
      std::memcpy(out, in, size_t(width) * size_t(FramebufferBpp));
      return;
    }
    WriteRow<Bits>(in, out, width, scale, [](const uint8_t* row, int32_t i) {
      return Pack<Bits, RedLow>(FramebufferBpp == 2 ? RgbOf565(row, i) : RgbOf32(row, i));
    });
  }
}

template <int FramebufferBpp, bool RedLow>
RowConverter ForDisplayBits(int32_t bits) {
  switch (bits) {
    case 15: return ConvertRow<FramebufferBpp, 15, RedLow>;
    case 16: return ConvertRow<FramebufferBpp, 16, RedLow>;
    case 24: return ConvertRow<FramebufferBpp, 24, RedLow>;
    case 32: return ConvertRow<FramebufferBpp, 32, RedLow>;
    default: return nullptr;
  }
}

template <int FramebufferBpp>
RowConverter ForDisplay(DisplayPixelFormat display) {
  return display.redLow ? ForDisplayBits<FramebufferBpp, true>(display.bits)
                        : ForDisplayBits<FramebufferBpp, false>(display.bits);
}

}  // namespace

DisplayPixelFormat DisplayFormatOf(uint32_t bitCount, uint32_t redMask, uint32_t greenMask,
                                   uint32_t blueMask) {
  DisplayPixelFormat format{int32_t(bitCount), redMask != 0 && redMask < blueMask};
  if (bitCount == 16 && std::popcount(greenMask) == 5) format.bits = 15;

  return format;
}

int32_t DisplayBytesPerPixel(DisplayPixelFormat format) { return (format.bits + 7) / 8; }

RowConverter ChooseRowConverter(int32_t framebufferBpp, DisplayPixelFormat display) {
  switch (framebufferBpp) {
    case 1: return ForDisplay<1>(display);
    case 2: return ForDisplay<2>(display);
    case 4: return ForDisplay<4>(display);
    default: return nullptr;
  }
}

uint32_t DisplayPixelOf(DisplayPixelFormat display, uint32_t paletteEntry) {
  const uint32_t rgb =
      (paletteEntry & 0xFF) << 16 | (paletteEntry & 0xFF00) | ((paletteEntry >> 16) & 0xFF);
  auto pack = [&]<bool RedLow>() -> uint32_t {
    switch (display.bits) {
      case 15: return Pack<15, RedLow>(rgb);
      case 16: return Pack<16, RedLow>(rgb);
      case 24: case 32: return Pack<32, RedLow>(rgb);
      default: return 0;
    }
  };
  return display.redLow ? pack.template operator()<true>() : pack.template operator()<false>();
}

}  // namespace fb
