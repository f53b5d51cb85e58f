// The window record of the X11 driver, shared by its files: x11.cpp (the
// window, the hooks of the window thread, the driver operations),
// x11_present.cpp (the image and presentation) and x11_input.cpp (keyboard
// and mouse).  The record belongs to the window thread while it runs; the
// program's thread touches it only under the display lock.
//
// One thread at a time talks to the server: the window thread in its tick
// (display lock) or in Deliver (connectionMutex), the program's thread
// with both.  Xlib needs that once the connection breaks: a second thread
// inside it then, or calling it afterwards, never returns.  So after a
// break nothing calls Xlib on the connection again.
#pragma once
#include <atomic>
#include <bitset>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "../driver_support.h"
#include "../screen.h"

// Xlib's headers define macros such as None, Bool and Status: they come
// after the project's own headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

namespace fb::x11 {

enum AtomIndex {
  ATOM_WM_PROTOCOLS,
  ATOM_WM_DELETE_WINDOW,
  ATOM_NET_WM_STATE,
  ATOM_NET_WM_STATE_FULLSCREEN,
  ATOM_NET_WM_STATE_ABOVE,
  ATOM_NET_WM_NAME,
  ATOM_UTF8_STRING,
  ATOM_MOTIF_WM_HINTS,
  ATOM_NET_ACTIVE_WINDOW,
  ATOM_NET_FRAME_EXTENTS,
  ATOM_NET_SUPPORTING_WM_CHECK,
  ATOM_COUNT
};

struct X11Window {
  // Fixed at Init.
  int32_t width = 0, height = 0, flags = 0;  // the framebuffer's size
  std::string title;
  std::string scaleSetting;  // FB_SCALE as Init found it
  std::string displayName;  // DISPLAY as Init found it, for messages
  bool allowShm = true;

  Display* display = nullptr;
  int screenNumber = 0;
  Window root = 0;
  Window window = 0;
  bool windowGone = false;  // destroyed by someone else
  // The connection broke: no request may be made.  Set inside Xlib on
  // whichever thread met the break; the window thread reports it.
  std::atomic<bool> connectionLost{false};
  bool unreachable = false;  // the server could not be reached at all
  Visual* visual = nullptr;
  int visualDepth = 0;
  Colormap colormap = 0;  // ours, when the visual is not the default one
  GC gc = nullptr;
  Cursor hiddenCursor = 0;
  Atom atoms[ATOM_COUNT] = {};
  bool windowManager = false;
  bool errorHandlerInstalled = false;

  // Held by Deliver and by the program's thread around its uses of the
  // connection; taken after the display lock, never before.
  std::mutex connectionMutex;

  // Sending a frame.  Rows are copied out of the framebuffer into staged
  // (the framebuffer's layout) under the display lock; converting them
  // into the image and sending it happen after the lock is released.
  // Guarded by connectionMutex.
  std::vector<uint8_t> staged;
  int stagedFirst = -1, stagedLast = -1;  // the band waiting to be sent, or -1
  XImage* image = nullptr;  // the image the window is painted from
  XShmSegmentInfo shm{};
  bool useShm = false;
  bool shmPending = false;     // the server may still be reading the segment
  bool imageOnStaged = false;  // data points straight at the staged rows
  bool direct = false;         // framebuffer pixels are the image's pixels
  int shmCompletion = 0;       // event type of a finished XShmPutImage
  uint32_t redOf[256] = {}, greenOf[256] = {}, blueOf[256] = {};  // 8-bit channel -> pixel bits
  uint32_t paletteOf[256] = {};  // palette index -> pixel
  std::vector<uint32_t> pixelOf565;  // 16-bit screens: every 5-6-5 value -> pixel

  // Each framebuffer pixel shows as a scale x scale block; the picture
  // (and the image it is painted from) is the framebuffer's size times
  // scale.  Fixed when the window is made.
  int scale = 1;
  int pictureWidth = 0, pictureHeight = 0;

  // Placement: the picture is centred in a window larger than it.
  int windowWidth = 0, windowHeight = 0;
  int offsetX = 0, offsetY = 0;
  bool fullscreen = false;
  int savedX = 0, savedY = 0;  // position before full screen without a window manager

  // Screen saver as found at Open.
  bool saverSaved = false;
  int saverTimeout = 0, saverInterval = 0, saverBlanking = 0, saverExposures = 0;
  bool dpmsWasEnabled = false;

  // Keyboard.
  uint8_t keycodeKey[256] = {};  // keycode -> virtual key
  std::bitset<256> keysDown;     // keycodes pressed and not yet released
  // Keycodes pressed since the last sample: a tap that is over before the
  // next sample still counts as held in it.
  std::bitset<256> pressedSinceSample;
  bool detectableRepeat = false;
  bool reconcileFocus = true;

  // Mouse.
  PointerState pointer;
  bool clipped = false;
  bool cursorHidden = false;

  // Presentation counters.
  std::atomic<int64_t> presents{0}, presentedRows{0};
  std::vector<int32_t> modes;  // program thread
};

// --- X errors (x11.cpp) ---
// Errors on the window's own connection are recorded, not fatal.

// Waits for the server's answers so far, then forgets recorded errors.
void BeginErrorTrap(X11Window& x);
// Waits for the server's answers; true when nothing failed since the trap began.
bool EndErrorTrap(X11Window& x);

// Runs a request and waits for the server's answer; true when it caused
// no error.
template <typename Request>
bool Checked(X11Window& x, Request request) {
  BeginErrorTrap(x);
  request();
  return EndErrorTrap(x);
}

// --- Window (x11.cpp) ---

// Switches between the window and full screen (Alt+Enter).
void ToggleFullscreen(X11Window& x, ScreenContext& screen);

// --- Image and presentation (x11_present.cpp) ---

// Creates the image the window is painted from (shared memory when the
// server takes it, else a client-side image) and the staged rows.  false
// when neither kind of image works.
bool CreateImage(X11Window& x, const ScreenContext& screen);
void DestroyImage(X11Window& x);
// Under the display lock: copies framebuffer rows first..last out for
// SendStaged, joining them to the band already waiting.
void StageRows(X11Window& x, ScreenContext& screen, int first, int last);
// Without the display lock: sends the waiting band to the window in one
// copy, converted to the window's pixels and scaled.
void SendStaged(X11Window& x, const ScreenContext& screen);
// MarkAllRowsDirty: platform/driver_support.h.

// --- Keyboard and mouse (x11_input.cpp) ---

// Maps every key code of the server's keyboard to its virtual key.
void BuildKeycodeTable(X11Window& x);
// Fills the key-state table from the keys held now.
void SampleKeyboard(X11Window& x, uint8_t* keyState);
// The focus came or went: clear held keys, repaint, post the event.
void SetActive(X11Window& x, ScreenContext& screen, bool active);
void HandleKey(X11Window& x, ScreenContext& screen, XKeyEvent& key);
void HandleButton(X11Window& x, const XButtonEvent& event);
void HandleMotion(X11Window& x, int windowX, int windowY);

}  // namespace fb::x11
