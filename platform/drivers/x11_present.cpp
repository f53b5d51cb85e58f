// Presentation of the X11 driver: the image the window is painted from
// (shared memory or client-side), the conversion of framebuffer rows into
// the window's pixel format and scale, and the copy to the server.  Rows
// leave the framebuffer under the display lock (StageRows); all the rest
// happens after it is released (SendStaged), so that a program waiting in
// ScreenLock does not wait for conversion, scaling or the server.
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "x11_window.h"

namespace fb::x11 {

namespace {

constexpr int NATIVE_BYTE_ORDER = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

// --- Pixel formats ---

uint32_t ChannelBits(uint32_t value8, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(uint64_t(mask));
  const int bits = std::popcount(uint64_t(mask));
  uint32_t v = bits <= 8 ? value8 >> (8 - bits) : value8 << (bits - 8);
  return uint32_t((uint64_t(v) << shift) & mask);
}

void SetupPixelFormat(X11Window& x, const ScreenContext& screen) {
  for (uint32_t v = 0; v < 256; ++v) {
    x.redOf[v] = ChannelBits(v, x.visual->red_mask);
    x.greenOf[v] = ChannelBits(v, x.visual->green_mask);
    x.blueOf[v] = ChannelBits(v, x.visual->blue_mask);
  }
  // The framebuffer's 0xAARRGGBB pixels are shown as they are when the
  // window's pixels have the same layout (the alpha byte is ignored).
  x.direct = screen.bpp == 4 && x.image->bits_per_pixel == 32 &&
             x.visual->red_mask == 0xFF0000 && x.visual->green_mask == 0xFF00 &&
             x.visual->blue_mask == 0xFF;
  if (screen.bpp != 2) return;
  // 5-6-5 widened to 8 bits a channel, the top bits repeated below so
  // that full intensity stays full.  One table lookup a pixel.
  x.pixelOf565.resize(65536);
  for (uint32_t p = 0; p < 65536; ++p) {
    const uint32_t r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
    x.pixelOf565[p] = x.redOf[(r << 3) | (r >> 2)] | x.greenOf[(g << 2) | (g >> 4)] |
                      x.blueOf[(b << 3) | (b >> 2)];
  }
}

void BuildPaletteTable(X11Window& x, const ScreenContext& screen) {
  for (int i = 0; i < 256; ++i) {
    const uint32_t e = screen.devicePalette[i];  // 0x00BBGGRR
    x.paletteOf[i] = x.redOf[e & 0xFF] | x.greenOf[(e >> 8) & 0xFF] | x.blueOf[(e >> 16) & 0xFF];
  }
}

// The scale image rows of one framebuffer row: pixel i from pixelOf(src,
// i), as a run of scale pixels in each of them.  line is the image's
// bytes per row.
template <typename Out, typename PixelOf>
void WriteBlockRows(char* dst, size_t line, const uint8_t* src, int width, int scale,
                    PixelOf pixelOf) {
  auto* out = reinterpret_cast<Out*>(dst);
  if (scale == 1) {
    for (int i = 0; i < width; ++i) out[i] = Out(pixelOf(src, i));
    return;
  }
  if (scale == 2) {
    // Both rows in one pass: copying a finished row would read it all again.
    auto* below = reinterpret_cast<Out*>(dst + line);
    for (int i = 0; i < width; ++i) {
      const Out p = Out(pixelOf(src, i));
      out[2 * i] = out[2 * i + 1] = below[2 * i] = below[2 * i + 1] = p;
    }
    return;
  }
  for (int i = 0; i < width; ++i)
    std::fill_n(out + size_t(i) * size_t(scale), scale, Out(pixelOf(src, i)));
  for (int k = 1; k < scale; ++k) std::memcpy(dst + size_t(k) * line, dst, line);
}

// Writes staged rows first..last into the image, each pixel as a
// scale x scale block.
template <typename PixelOf>
void ConvertBand(X11Window& x, const ScreenContext& screen, int first, int last,
                 PixelOf pixelOf) {
  XImage* image = x.image;
  const int n = x.scale;
  const size_t line = size_t(image->bytes_per_line);
  for (int y = first; y <= last; ++y) {
    const uint8_t* src = x.staged.data() + size_t(y) * size_t(screen.pitch);
    char* dst = image->data + size_t(y) * size_t(n) * line;
    if (image->bits_per_pixel == 32) {
      WriteBlockRows<uint32_t>(dst, line, src, screen.width, n, pixelOf);
    } else if (image->bits_per_pixel == 16) {
      WriteBlockRows<uint16_t>(dst, line, src, screen.width, n, pixelOf);
    } else {
      for (int i = 0; i < screen.width; ++i)
        for (int k = 0; k < n; ++k) XPutPixel(image, i * n + k, y * n, pixelOf(src, i));
      for (int k = 1; k < n; ++k) std::memcpy(dst + size_t(k) * line, dst, line);
    }
  }
}

// Brings rows first..last of the image up to date with the staged rows.
void FillImage(X11Window& x, const ScreenContext& screen, int first, int last) {
  if (x.direct && x.scale == 1) {
    for (int y = first; y <= last; ++y)
      std::memcpy(x.image->data + size_t(y) * size_t(x.image->bytes_per_line),
                  x.staged.data() + size_t(y) * size_t(screen.pitch), size_t(screen.pitch));
    return;
  }
  if (x.direct) {
    ConvertBand(x, screen, first, last, [](const uint8_t* row, int i) {
      uint32_t p;
      std::memcpy(&p, row + size_t(i) * 4, 4);
      return p;
    });
    return;
  }
  switch (screen.bpp) {
    case 4:
      ConvertBand(x, screen, first, last, [&](const uint8_t* row, int i) {
        uint32_t p;
        std::memcpy(&p, row + size_t(i) * 4, 4);
        return x.redOf[(p >> 16) & 0xFF] | x.greenOf[(p >> 8) & 0xFF] | x.blueOf[p & 0xFF];
      });
      break;
    case 2:
      ConvertBand(x, screen, first, last, [&](const uint8_t* row, int i) {
        uint16_t p;
        std::memcpy(&p, row + size_t(i) * 2, 2);
        return x.pixelOf565[p];
      });
      break;
    default:  // 1, 2, 4 and 8 bits: palette indices, one byte each
      ConvertBand(x, screen, first, last,
                  [&](const uint8_t* row, int i) { return x.paletteOf[row[i]]; });
      break;
  }
}

// --- The image ---

bool CreateShmImage(X11Window& x) {
  if (!x.allowShm || !XShmQueryExtension(x.display)) return false;
  // The segment is read by the server in its own byte order.
  if (ImageByteOrder(x.display) != NATIVE_BYTE_ORDER) return false;
  XImage* image = XShmCreateImage(x.display, x.visual, unsigned(x.visualDepth), ZPixmap,
                                  nullptr, &x.shm, unsigned(x.pictureWidth),
                                  unsigned(x.pictureHeight));
  if (!image) return false;
  const size_t bytes = size_t(image->bytes_per_line) * size_t(x.pictureHeight);
  bool attached = false;
  x.shm.shmid = image->bytes_per_line > 0 ? shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600) : -1;
  if (x.shm.shmid >= 0) {
    x.shm.shmaddr = static_cast<char*>(shmat(x.shm.shmid, nullptr, 0));
    if (x.shm.shmaddr != reinterpret_cast<char*>(-1)) {
      image->data = x.shm.shmaddr;
      x.shm.readOnly = False;
      // A remote or restricted server refuses the attach with BadAccess or
      // BadRequest; the plain path takes over then.
      attached = Checked(x, [&] { XShmAttach(x.display, &x.shm); });
      if (!attached) shmdt(x.shm.shmaddr);
    }
    // Once the server has attached, the segment lives until both sides
    // detach; removing the id now means it cannot leak past the process.
    shmctl(x.shm.shmid, IPC_RMID, nullptr);
  }
  if (!attached) {
    image->data = nullptr;
    XDestroyImage(image);
    x.shm = {};
    return false;
  }
  x.image = image;
  x.useShm = true;
  x.shmCompletion = XShmGetEventBase(x.display) + ShmCompletion;
  return true;
}

}  // namespace

bool CreateImage(X11Window& x, const ScreenContext& screen) {
  x.staged.assign(size_t(screen.pitch) * size_t(screen.height), 0);
  if (CreateShmImage(x)) {
    SetupPixelFormat(x, screen);
    return true;
  }
  XImage* image = XCreateImage(x.display, x.visual, unsigned(x.visualDepth), ZPixmap, 0, nullptr,
                               unsigned(x.pictureWidth), unsigned(x.pictureHeight), 32, 0);
  if (!image) return false;
  image->byte_order = NATIVE_BYTE_ORDER;  // Xlib swaps for the server if it must
  x.image = image;
  SetupPixelFormat(x, screen);
  if (x.direct && x.scale == 1 && image->bytes_per_line == screen.pitch) {
    // XPutImage copies out of the staged rows during the call itself, so
    // the image can simply point at them.
    image->data = reinterpret_cast<char*>(x.staged.data());
    x.imageOnStaged = true;
    return true;
  }
  const size_t bytes = size_t(image->bytes_per_line) * size_t(x.pictureHeight);
  if (image->bytes_per_line <= 0 ||
      bytes / size_t(x.pictureHeight) != size_t(image->bytes_per_line))
    return false;
  // XDestroyImage frees the data with free().
  image->data = static_cast<char*>(std::calloc(bytes, 1));
  return image->data != nullptr;
}

void DestroyImage(X11Window& x) {
  if (!x.image) return;
  if (x.useShm) {
    if (!x.connectionLost) {
      XShmDetach(x.display, &x.shm);
      XSync(x.display, False);
    }
    shmdt(x.shm.shmaddr);
    x.image->data = nullptr;
  } else if (x.imageOnStaged) {
    x.image->data = nullptr;
  }
  XDestroyImage(x.image);
  x.image = nullptr;
  x.useShm = false;
  x.imageOnStaged = false;
}

// --- Presentation ---

void StageRows(X11Window& x, ScreenContext& screen, int first, int last) {
  if (first < 0) first = 0;
  if (last > x.height - 1) last = x.height - 1;
  if (first > last || x.staged.empty()) return;
  std::lock_guard<std::mutex> guard(x.connectionMutex);
  if (screen.paletteChanged) {
    BuildPaletteTable(x, screen);
    screen.paletteChanged = 0;
  }
  // Rows are packed: the band is one block.
  const size_t pitch = size_t(screen.pitch);
  std::memcpy(x.staged.data() + size_t(first) * pitch, screen.framebuffer + size_t(first) * pitch,
              size_t(last - first + 1) * pitch);
  // Rows between two bands hold what was last sent for them: sending
  // them again changes nothing on the screen.
  x.stagedFirst = x.stagedFirst < 0 ? first : std::min(x.stagedFirst, first);
  x.stagedLast = std::max(x.stagedLast, last);
}

void SendStaged(X11Window& x, const ScreenContext& screen) {
  std::lock_guard<std::mutex> guard(x.connectionMutex);
  if (x.stagedFirst < 0) return;
  const int first = x.stagedFirst, last = x.stagedLast;
  x.stagedFirst = x.stagedLast = -1;
  if (!x.image || x.windowGone || x.connectionLost) return;
  const unsigned rows = unsigned(last - first + 1);
  // The band as the image and the window hold it.
  const int top = first * x.scale;
  const unsigned imageRows = rows * unsigned(x.scale);
  if (x.useShm) {
    // The server reads the segment after the request has gone out; the
    // previous copy must be finished before the segment is written again.
    // Its completion event has usually arrived by the next tick; only when
    // it has not is a round trip needed.
    XEvent done;
    if (x.shmPending && !XCheckTypedWindowEvent(x.display, x.window, x.shmCompletion, &done))
      XSync(x.display, False);
    x.shmPending = false;
    if (x.connectionLost) return;
    FillImage(x, screen, first, last);
    XShmPutImage(x.display, x.window, x.gc, x.image, 0, top, x.offsetX, x.offsetY + top,
                 unsigned(x.pictureWidth), imageRows, True);
    x.shmPending = true;
  } else {
    if (!x.imageOnStaged) FillImage(x, screen, first, last);
    XPutImage(x.display, x.window, x.gc, x.image, 0, top, x.offsetX, x.offsetY + top,
              unsigned(x.pictureWidth), imageRows);
  }
  XFlush(x.display);
  ++x.presents;
  x.presentedRows += rows;
}

}  // namespace fb::x11
