// Presentation of the Wayland driver: wl_shm buffers the window is shown
// from, the conversion of framebuffer rows into their pixels and scale,
// and the commits.  Rows leave the framebuffer under the display lock
// (StageRows); all the rest happens after it is released (SendStaged), so
// that a program waiting in ScreenLock waits for no conversion and no
// compositor.
//
// Every buffer holds the whole picture.  A buffer the compositor holds is
// never written; the rows that changed while it was away are noted on it
// (its stale band) and brought up to date, with the new band, the next
// time it is written.  Each commit damages only the band that changed
// since the commit before.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "wayland_window.h"
#include "../driver_support.h"

namespace fb::wl {

namespace {

// --- Buffers ---

void BufferReleased(void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy = false; }
const wl_buffer_listener BUFFER_LISTENER = {BufferReleased};

void FrameDone(void* data, wl_callback* callback, uint32_t) {
  auto& w = *static_cast<WaylandWindow*>(data);
  wl_callback_destroy(callback);
  if (w.frameCallback == callback) w.frameCallback = nullptr;
}
const wl_callback_listener FRAME_LISTENER = {FrameDone};

// A buffer of the window's size, black, lacking every row.
bool CreateBuffer(WaylandWindow& w, ShmBuffer& b) {
  if (!AllocateBuffer(w.shm, w.windowWidth, w.windowHeight, b)) return false;
  // Its release must come on the queue that SendStaged dispatches.
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(b.buffer), w.presentQueue);
  wl_buffer_add_listener(b.buffer, &BUFFER_LISTENER, &b);
  b.busy = false;
  b.staleFirst = 0;
  b.staleLast = w.height - 1;
  return true;
}

void BuildPaletteTable(WaylandWindow& w, const ScreenContext& screen) {
  for (int i = 0; i < 256; ++i)
    w.paletteOf[i] = DisplayPixelOf({32, false}, screen.devicePalette[i]);
}

// Writes staged rows first..last into the buffer, each pixel as a
// scale x scale block at the picture's place.
void FillRows(WaylandWindow& w, const ScreenContext& screen, ShmBuffer& b, int32_t first,
              int32_t last) {
  const size_t pitch = size_t(screen.pitch), stride = size_t(b.stride);
  const size_t rowBytes = size_t(w.pictureWidth) * 4;
  for (int32_t y = first; y <= last; ++y) {
    uint8_t* out = b.pixels + size_t(w.offsetY + y * w.scale) * stride + size_t(w.offsetX) * 4;
    w.convert(w.staged.data() + size_t(y) * pitch, out, w.width, w.scale, w.paletteOf);
    for (int32_t k = 1; k < w.scale; ++k) std::memcpy(out + size_t(k) * stride, out, rowBytes);
  }
}

// The free buffer with the least to bring up to date, or nullptr.
ShmBuffer* FreeBuffer(WaylandWindow& w) {
  ShmBuffer* best = nullptr;
  for (ShmBuffer& b : w.buffers) {
    if (!b.buffer || b.busy) continue;
    if (!best || b.staleLast - b.staleFirst < best->staleLast - best->staleFirst) best = &b;
  }
  return best;
}

}  // namespace

bool AllocateBuffer(wl_shm* shm, int32_t width, int32_t height, ShmBuffer& b) {
  // The pool's size is a 32-bit number: a larger buffer cannot be had.
  if (width <= 0 || height <= 0 || int64_t(width) * height > INT32_MAX / 4) return false;
  const int32_t stride = width * 4;
  const size_t bytes = size_t(stride) * size_t(height);
  const int fd = memfd_create("fb-wayland-buffer", MFD_CLOEXEC);
  if (fd < 0) return false;
  void* pixels = MAP_FAILED;
  if (ftruncate(fd, off_t(bytes)) == 0)
    pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) {
    close(fd);
    return false;
  }
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(bytes));
  b = ShmBuffer{};
  b.buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
  // The buffer keeps the memory; the pool and our descriptor may go.
  wl_shm_pool_destroy(pool);
  close(fd);
  b.pixels = static_cast<uint8_t*>(pixels);
  b.bytes = bytes;
  b.width = width;
  b.height = height;
  b.stride = stride;
  return true;
}

void DestroyBuffer(ShmBuffer& b) {
  if (b.buffer) wl_buffer_destroy(b.buffer);
  if (b.pixels) munmap(b.pixels, b.bytes);
  b = ShmBuffer{};
}

bool SetUpPresentation(WaylandWindow& w, const ScreenContext& screen) {
  w.convert = ChooseRowConverter(screen.bpp, {32, false});
  if (!w.convert) return false;
  std::lock_guard<std::mutex> guard(w.presentMutex);
  w.presentQueue = wl_display_create_queue(w.display);
  w.staged.assign(size_t(screen.pitch) * size_t(screen.height), 0);
  BuildPaletteTable(w, screen);
  w.damageWhole = true;  // the first commit shows the window
  return w.presentQueue != nullptr;
}

void TearDownPresentation(WaylandWindow& w) {
  std::lock_guard<std::mutex> guard(w.presentMutex);
  for (ShmBuffer& b : w.buffers) DestroyBuffer(b);
  if (w.frameCallback) wl_callback_destroy(w.frameCallback);
  w.frameCallback = nullptr;
  if (w.presentSurface) wl_proxy_wrapper_destroy(w.presentSurface);
  w.presentSurface = nullptr;
  if (w.presentQueue) wl_event_queue_destroy(w.presentQueue);
  w.presentQueue = nullptr;
}

void ResizeBuffers(WaylandWindow& w, ScreenContext& screen) {
  std::lock_guard<std::mutex> guard(w.presentMutex);
  // Busy ones too: the compositor keeps what it has until the next
  // commit, which shows a buffer of the new size.
  for (ShmBuffer& b : w.buffers) DestroyBuffer(b);
  w.damageWhole = true;
  MarkAllRowsDirty(screen);
}

void StageRows(WaylandWindow& w, ScreenContext& screen, int32_t first, int32_t last) {
  first = std::max(first, 0);
  last = std::min(last, w.height - 1);
  if (first > last || w.staged.empty()) return;
  std::lock_guard<std::mutex> guard(w.presentMutex);
  if (screen.paletteChanged) {
    BuildPaletteTable(w, screen);
    screen.paletteChanged = 0;
  }
  const size_t pitch = size_t(screen.pitch);  // rows are packed: the band is one block
  std::memcpy(w.staged.data() + size_t(first) * pitch, screen.framebuffer + size_t(first) * pitch,
              size_t(last - first + 1) * pitch);
  w.stagedFirst = w.stagedFirst < 0 ? first : std::min(w.stagedFirst, first);
  w.stagedLast = std::max(w.stagedLast, last);
}

bool SendStaged(WaylandWindow& w, bool paced) {
  std::lock_guard<std::mutex> guard(w.presentMutex);
  if (w.connectionLost || !w.presentQueue || !w.surface) return false;
  if (!w.presentSurface) {
    w.presentSurface = static_cast<wl_surface*>(wl_proxy_create_wrapper(w.surface));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(w.presentSurface), w.presentQueue);
  }
  // Releases and frame callbacks that have arrived.
  if (wl_display_dispatch_queue_pending(w.display, w.presentQueue) < 0) {
    NoteConnectionError(w);
    return false;
  }
  if (w.stagedFirst < 0 || (paced && w.frameCallback)) return false;
  ShmBuffer* b = FreeBuffer(w);
  if (!b) {
    for (ShmBuffer& candidate : w.buffers)
      if (!candidate.buffer && CreateBuffer(w, candidate)) {
        b = &candidate;
        break;
      }
  }
  if (!paced) {
    // Asked to present now: wait for the compositor to give one back.
    while (!b && wl_display_roundtrip_queue(w.display, w.presentQueue) >= 0) b = FreeBuffer(w);
  }
  if (!b) return false;  // all held: the next tick tries again

  const int32_t first = w.stagedFirst, last = w.stagedLast;
  w.stagedFirst = w.stagedLast = -1;
  const ScreenContext* screen = Screen();
  if (!screen) return false;
  const int32_t fillFirst = b->staleFirst <= b->staleLast ? std::min(first, b->staleFirst) : first;
  const int32_t fillLast = std::max(last, b->staleLast);
  FillRows(w, *screen, *b, fillFirst, fillLast);
  b->staleFirst = 0;
  b->staleLast = -1;
  for (ShmBuffer& other : w.buffers) {
    if (&other == b || !other.buffer) continue;
    other.staleFirst = other.staleFirst <= other.staleLast ? std::min(other.staleFirst, first) : first;
    other.staleLast = std::max(other.staleLast, last);
  }

  wl_surface_attach(w.presentSurface, b->buffer, 0, 0);
  if (w.damageWhole)
    wl_surface_damage_buffer(w.presentSurface, 0, 0, b->width, b->height);
  else
    wl_surface_damage_buffer(w.presentSurface, w.offsetX, w.offsetY + first * w.scale,
                             w.pictureWidth, (last - first + 1) * w.scale);
  w.damageWhole = false;
  if (w.frameCallback) wl_callback_destroy(w.frameCallback);
  w.frameCallback = wl_surface_frame(w.presentSurface);
  wl_callback_add_listener(w.frameCallback, &FRAME_LISTENER, &w);
  wl_surface_commit(w.presentSurface);
  b->busy = true;
  ++w.presents;
  w.presentedRows += last - first + 1;
  if (wl_display_flush(w.display) < 0 && errno != EAGAIN) {
    NoteConnectionError(w);
    return false;
  }
  if (!paced && wl_display_roundtrip_queue(w.display, w.presentQueue) < 0) {
    NoteConnectionError(w);
    return false;
  }
  return true;
}

}  // namespace fb::wl
