// A mouse for a compositor that has none (a headless sway without input
// devices): a virtual pointer device added to its seat through a
// connection of the test's own.  While it lives the seat offers a
// pointer, and the compositor treats its requests as a real mouse's.
// Every call waits until the compositor has handled the requests.
#pragma once
#include <wayland-client.h>

#include <cstdint>
#include <cstring>

#include "virtual-pointer-unstable-v1-client-protocol.h"

namespace testsway {

class VirtualPointer {
 public:
  VirtualPointer() = default;
  VirtualPointer(const VirtualPointer&) = delete;
  VirtualPointer& operator=(const VirtualPointer&) = delete;
  ~VirtualPointer() {
    if (pointer_) zwlr_virtual_pointer_v1_destroy(pointer_);
    if (manager_) zwlr_virtual_pointer_manager_v1_destroy(manager_);
    if (seat_) wl_seat_destroy(seat_);
    if (registry_) wl_registry_destroy(registry_);
    if (display_) wl_display_disconnect(display_);
  }

  // Connects to WAYLAND_DISPLAY and adds the pointer to its seat; layout
  // coordinates reach from 0 to the extent given.  false when the
  // compositor offers no virtual pointers.
  bool Start(uint32_t layoutWidth, uint32_t layoutHeight) {
    width_ = layoutWidth;
    height_ = layoutHeight;
    display_ = wl_display_connect(nullptr);
    if (!display_) return false;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &REGISTRY, this);
    wl_display_roundtrip(display_);
    if (!seat_ || !manager_) return false;
    pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, seat_);
    return wl_display_roundtrip(display_) >= 0;
  }

  // To (x, y) of the layout.
  bool MoveTo(uint32_t x, uint32_t y, uint32_t timeMs) {
    zwlr_virtual_pointer_v1_motion_absolute(pointer_, timeMs, x, y, width_, height_);
    return Frame();
  }

  // A button by its kernel code (0x110 left, 0x111 right, 0x112 middle,
  // 0x113 and 0x114 the side buttons).
  bool Button(uint32_t code, bool pressed, uint32_t timeMs) {
    zwlr_virtual_pointer_v1_button(pointer_, timeMs, code,
                                   pressed ? WL_POINTER_BUTTON_STATE_PRESSED
                                           : WL_POINTER_BUTTON_STATE_RELEASED);
    return Frame();
  }

  // Turns a wheel by whole notches, as a mouse wheel reports them: on the
  // vertical axis positive is down, on the horizontal one right.
  bool Wheel(wl_pointer_axis axis, int32_t notches, uint32_t timeMs) {
    zwlr_virtual_pointer_v1_axis_source(pointer_, WL_POINTER_AXIS_SOURCE_WHEEL);
    zwlr_virtual_pointer_v1_axis_discrete(pointer_, timeMs, axis, wl_fixed_from_int(10 * notches),
                                          notches);
    return Frame();
  }

 private:
  bool Frame() {
    zwlr_virtual_pointer_v1_frame(pointer_);
    return wl_display_roundtrip(display_) >= 0;
  }

  static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t) {
    auto* self = static_cast<VirtualPointer*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_)
      self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
      self->manager_ = static_cast<zwlr_virtual_pointer_manager_v1*>(
          wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
  }
  static void GlobalRemove(void*, wl_registry*, uint32_t) {}
  static constexpr wl_registry_listener REGISTRY = {Global, GlobalRemove};

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
  zwlr_virtual_pointer_v1* pointer_ = nullptr;
  uint32_t width_ = 0, height_ = 0;
};

}  // namespace testsway
