// The window record of the Wayland driver, shared by its files:
// wayland.cpp (the connection, the window, the hooks of the window thread,
// the driver operations), wayland_present.cpp (the buffers and
// presentation) and wayland_input.cpp (keyboard and pointer).
//
// The window thread owns the connection.  Events of the default queue are
// read and dispatched only in its tick, under the display lock, so their
// listeners may touch the key queue and the screen.  What presentation
// needs back from the compositor (buffer releases, frame callbacks) comes
// on a queue of its own, dispatched only with presentMutex held: in
// Deliver, outside the display lock, and in WaylandPresentNow.  The
// program's thread makes requests (title, cursor) only under the display
// lock; libwayland lets requests from two threads interleave.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "../driver_support.h"
#include "../screen.h"
#include "../surface_convert.h"

#include <wayland-client.h>
#include <wayland-cursor.h>
#include <xkbcommon/xkbcommon.h>

#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace fb::wl {

// Enough that the compositor can hold one buffer on screen and another
// not yet released while the next frame is written into a third.
constexpr int BUFFER_COUNT = 3;

struct ShmBuffer {
  wl_buffer* buffer = nullptr;
  uint8_t* pixels = nullptr;  // our mapping of its memory
  size_t bytes = 0;
  int32_t width = 0, height = 0, stride = 0;  // output pixels
  bool busy = false;  // committed and not yet released: never written
  // Framebuffer rows it does not show as they are now (first > last:
  // none).  A new buffer lacks every row.
  int32_t staleFirst = 0, staleLast = -1;
};

struct Output {
  wl_output* output = nullptr;
  uint32_t name = 0;  // its global
  int32_t scale = 1;
  int32_t width = 0, height = 0;  // its current mode, in its own pixels
  int32_t refreshMilliHz = 0;
};

struct WaylandWindow {
  // Fixed at Init.
  int32_t width = 0, height = 0, flags = 0;  // the framebuffer's size
  std::string title;
  std::string scaleSetting;  // FB_SCALE as Init found it
  std::string displayName;   // WAYLAND_DISPLAY as Init found it, for messages
  bool unreachable = false;  // the compositor could not be reached at all

  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wmBase = nullptr;
  zxdg_decoration_manager_v1* decorationManager = nullptr;
  wl_seat* seat = nullptr;
  std::vector<Output> outputs;

  wl_surface* surface = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  zxdg_toplevel_decoration_v1* decoration = nullptr;
  bool allowServerDecorations = true;
  bool serverDecorations = false;
  // The title bar of our own (wayland_frame.cpp), where the compositor
  // draws none.
  wl_subcompositor* subcompositor = nullptr;
  bool ownFrame = false;
  wl_surface* barSurface = nullptr;
  wl_subsurface* barSubsurface = nullptr;
  ShmBuffer barBuffer;
  bool pointerOnBar = false;
  double barPointerX = 0, barPointerY = 0;  // the bar's units
  bool closeBoxPressed = false;
  bool configured = false;
  // The connection failed (a read, a write or a protocol error); set on
  // whichever window-thread step met it, reported by the tick.
  std::atomic<bool> connectionLost{false};

  // Placement, in output pixels: the picture is the framebuffer times
  // scale, centred in a window that is larger only while full screen.
  int32_t scale = 1, bufferScale = 1;
  int32_t pictureWidth = 0, pictureHeight = 0;
  int32_t windowWidth = 0, windowHeight = 0;
  int32_t offsetX = 0, offsetY = 0;
  bool fullscreen = false;
  // What the last toplevel configure asked, applied by the surface's.
  int32_t configureWidth = 0, configureHeight = 0;
  bool configureFullscreen = false, configureActivated = false;
  bool activated = false;
  bool reconcileActive = true;  // the first tick sets the focus as configured

  // --- Presentation: everything below up to the keyboard is guarded by
  // presentMutex. ---
  std::mutex presentMutex;
  wl_event_queue* presentQueue = nullptr;
  wl_surface* presentSurface = nullptr;  // the surface, its callbacks on presentQueue
  std::vector<uint8_t> staged;  // the framebuffer's rows as last copied out
  int32_t stagedFirst = -1, stagedLast = -1;  // the band waiting to be sent, or -1
  ShmBuffer buffers[BUFFER_COUNT];
  bool damageWhole = false;  // the next commit shows a window of a new size
  wl_callback* frameCallback = nullptr;  // the compositor has not asked for the next frame
  RowConverter convert = nullptr;
  uint32_t paletteOf[256] = {};  // palette index -> pixel, for indexed screens
  std::atomic<int64_t> presents{0}, presentedRows{0};

  // --- Keyboard (window thread) ---
  wl_keyboard* keyboard = nullptr;
  xkb_context* xkb = nullptr;
  xkb_keymap* keymap = nullptr;
  xkb_state* keyState = nullptr;
  std::vector<uint8_t> keycodeKey;  // key code -> virtual key
  std::vector<uint8_t> keysDown;    // key codes pressed and not yet released
  // Key codes pressed since the last sample: a tap that is over before
  // the next sample still counts as held in it.
  std::vector<uint8_t> pressedSinceSample;
  int32_t repeatRate = 25, repeatDelayMs = 600;  // keys a second, 0: no repeat
  uint32_t repeatingKey = 0;  // the key code that repeats, 0: none
  std::chrono::steady_clock::time_point nextRepeat;

  // --- Pointer (window thread; cursor also the program's thread under
  // the display lock) ---
  wl_pointer* pointer = nullptr;
  uint32_t pointerVersion = 0;
  wl_cursor_theme* cursorTheme = nullptr;
  wl_surface* cursorSurface = nullptr;
  uint32_t enterSerial = 0;
  bool pointerInside = false;
  bool cursorHidden = false;
  PointerState pointerState;  // its position in framebuffer pixels
  int32_t wheelSteps[2] = {};  // discrete steps of this frame, per axis
  double wheelTravel[2] = {};  // continuous travel not yet a notch, per axis

  std::vector<int32_t> modes;  // program thread
};

// --- Window (wayland.cpp) ---

// Switches between the window and full screen (Alt+Enter).
void ToggleFullscreen(WaylandWindow& w);
// Records a failed request or read; the tick reports the loss.
void NoteConnectionError(WaylandWindow& w);

// --- The title bar of our own (wayland_frame.cpp) ---

// Shows the bar (drawn for the window's size) and makes it part of the
// window; full screen hides it.  Nothing unless ownFrame.
void ShowOwnFrame(WaylandWindow& w);
void DestroyOwnFrame(WaylandWindow& w);
// A button pressed or released over the bar.
void FramePointerButton(WaylandWindow& w, uint32_t serial, uint32_t button, bool press);

// --- Presentation (wayland_present.cpp) ---

// A black buffer of width x height pixels (0x00RRGGBB) in shared memory,
// mapped for us; false when none can be had.
bool AllocateBuffer(wl_shm* shm, int32_t width, int32_t height, ShmBuffer& b);
void DestroyBuffer(ShmBuffer& b);

// Prepares the queue, the staged rows and the converter.  false when the
// screen's depth has no converter.
bool SetUpPresentation(WaylandWindow& w, const ScreenContext& screen);
void TearDownPresentation(WaylandWindow& w);
// Under the display lock: copies framebuffer rows first..last out,
// joining them to the band already waiting.
void StageRows(WaylandWindow& w, ScreenContext& screen, int32_t first, int32_t last);
// Without the display lock: when the compositor wants a frame and a
// buffer is free, brings it up to date, damages the band and commits.
// paced false commits without waiting for the frame callback.  true when
// a buffer was committed.  Holds presentMutex.
bool SendStaged(WaylandWindow& w, bool paced);
// The window's size changed: buffers of the new size, every row again.
void ResizeBuffers(WaylandWindow& w, ScreenContext& screen);

// --- Keyboard and pointer (wayland_input.cpp) ---

// Listens to the seat: keyboards and pointers as they come and go.
void ListenToSeat(WaylandWindow& w);
void ReleaseInput(WaylandWindow& w);
// The focus came or went: clear held keys, repaint, post the event.
void SetActive(WaylandWindow& w, ScreenContext& screen, bool active);
// Fills the key-state table from the keys held now.
void SampleKeyboard(WaylandWindow& w, uint8_t* keyState);
// Sends the repeats of the held key that are due.
void RepeatKeys(WaylandWindow& w);
// Shows or hides the pointer over the window.
void ShowCursor(WaylandWindow& w, bool visible);

}  // namespace fb::wl
