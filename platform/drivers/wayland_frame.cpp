// A title bar of our own, for a compositor that draws none (it offers no
// xdg-decoration, as GNOME's does not, or asks the client to decorate): a
// bar above the picture in a subsurface, with a close box at its right
// end.  Dragging the bar moves the window, its right button opens the
// compositor's window menu, and a click on the close box is the close
// request.  The bar carries no title text: the platform layer has no font
// (the title still names the window in the compositor's task list).
// Window thread, under the display lock.
#include <algorithm>
#include <cstdlib>

#include "wayland.h"
#include "wayland_window.h"
#include "../events.h"
#include "../keyboard.h"

namespace fb::wl {

namespace {

constexpr uint32_t BAR_COLOUR = 0x2E3440, BOX_COLOUR = 0x434C5E, CROSS_COLOUR = 0xECEFF4;
constexpr uint32_t BUTTON_LEFT = 0x110, BUTTON_RIGHT = 0x111;  // as the kernel numbers them

// Draws the bar for the window's width: bar colour, the close box a
// square at the right end with a cross in it.
bool DrawBar(WaylandWindow& w) {
  const int32_t scale = w.bufferScale;
  const int32_t width = w.windowWidth, height = WAYLAND_BAR_HEIGHT * scale;
  // Drawn once per size; the compositor may keep reading the old one
  // until the new one is committed.
  DestroyBuffer(w.barBuffer);
  if (!AllocateBuffer(w.shm, width, height, w.barBuffer)) return false;
  auto* pixels = reinterpret_cast<uint32_t*>(w.barBuffer.pixels);
  const int32_t boxLeft = width - height;
  const int32_t margin = height / 4, thickness = std::max(1, scale);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint32_t colour = x >= boxLeft ? BOX_COLOUR : BAR_COLOUR;
      const int32_t bx = x - boxLeft;
      const bool inCross = bx >= margin && bx < height - margin && y >= margin && y < height - margin;
      if (inCross && (std::abs(bx - y) < thickness || std::abs(bx + y - (height - 1)) < thickness))
        colour = CROSS_COLOUR;
      pixels[size_t(y) * size_t(width) + size_t(x)] = colour;
    }
  return true;
}

}  // namespace

void ShowOwnFrame(WaylandWindow& w) {
  if (!w.ownFrame || !w.subcompositor) return;
  const int32_t width = w.windowWidth / w.bufferScale, height = w.windowHeight / w.bufferScale;
  if (!w.barSurface) {
    w.barSurface = wl_compositor_create_surface(w.compositor);
    w.barSubsurface = wl_subcompositor_get_subsurface(w.subcompositor, w.barSurface, w.surface);
    wl_subsurface_set_position(w.barSubsurface, 0, -WAYLAND_BAR_HEIGHT);
  }
  if (w.fullscreen) {
    // Full screen shows the picture alone.
    wl_surface_attach(w.barSurface, nullptr, 0, 0);
    wl_surface_commit(w.barSurface);
    xdg_surface_set_window_geometry(w.xdgSurface, 0, 0, width, height);
    return;
  }
  if (!DrawBar(w)) return;
  wl_surface_set_buffer_scale(w.barSurface, w.bufferScale);
  wl_surface_attach(w.barSurface, w.barBuffer.buffer, 0, 0);
  wl_surface_damage_buffer(w.barSurface, 0, 0, w.windowWidth, WAYLAND_BAR_HEIGHT * w.bufferScale);
  wl_surface_commit(w.barSurface);
  // The bar is part of the window: the compositor places and sizes the
  // two together.  Both take effect with the main surface's next commit.
  xdg_surface_set_window_geometry(w.xdgSurface, 0, -WAYLAND_BAR_HEIGHT, width,
                                  height + WAYLAND_BAR_HEIGHT);
}

void DestroyOwnFrame(WaylandWindow& w) {
  if (w.barSubsurface) wl_subsurface_destroy(w.barSubsurface);
  if (w.barSurface) wl_surface_destroy(w.barSurface);
  DestroyBuffer(w.barBuffer);
  w.barSubsurface = nullptr;
  w.barSurface = nullptr;
}

void FramePointerButton(WaylandWindow& w, uint32_t serial, uint32_t button, bool press) {
  const WaylandFramePart part =
      WaylandFramePartAt(w.windowWidth / w.bufferScale, w.barPointerX, w.barPointerY);
  if (!press) {
    // A click is a press and a release both on the close box.
    if (w.closeBoxPressed && part == WaylandFramePart::CloseBox && button == BUTTON_LEFT) {
      PutKey(KEY_CLOSE);
      PostEvent(EVENT_CLOSE);
    }
    w.closeBoxPressed = false;
    return;
  }
  if (part == WaylandFramePart::CloseBox && button == BUTTON_LEFT) {
    w.closeBoxPressed = true;
  } else if (part == WaylandFramePart::Bar && button == BUTTON_LEFT) {
    xdg_toplevel_move(w.toplevel, w.seat, serial);
  } else if (part == WaylandFramePart::Bar && button == BUTTON_RIGHT) {
    xdg_toplevel_show_window_menu(w.toplevel, w.seat, serial, int32_t(w.barPointerX),
                                  int32_t(w.barPointerY) - WAYLAND_BAR_HEIGHT);
  }
}

}  // namespace fb::wl

namespace fb {

WaylandFramePart WaylandFramePartAt(int32_t barWidth, double x, double y) {
  if (x < 0 || y < 0 || x >= barWidth || y >= WAYLAND_BAR_HEIGHT) return WaylandFramePart::None;
  return x >= barWidth - WAYLAND_BAR_HEIGHT ? WaylandFramePart::CloseBox : WaylandFramePart::Bar;
}

}  // namespace fb
