// The "X11" display driver.  The window thread owns its own connection to
// the X server: it creates the window in the Open hook, presents, samples
// and dispatches in the ticks of window_thread.cpp, and closes the window
// and the connection in the Close hook.  The driver operations called on
// the program's thread (title, position, mouse, modes, palette) use the
// same connection only while holding the display lock, which the window
// thread holds for its whole tick, so the two never interleave.
#include "platform/drivers/x11.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <bitset>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/events.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "platform/window_thread.h"

// Xlib's headers define macros such as None, Bool and Status: they come
// after the project's own headers.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/dpms.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace fb {

namespace {

constexpr int NATIVE_BYTE_ORDER = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

// How long Open waits for the window manager to map the window.
constexpr auto MAP_TIMEOUT = std::chrono::seconds(2);
// Two presses of one mouse button closer than this are a double click.
constexpr Time DOUBLE_CLICK_MS = 500;
// One notch of the wheel, in the units of the wheel position.
constexpr int32_t WHEEL_NOTCH = 120;

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
const char* const ATOM_NAMES[ATOM_COUNT] = {
    "WM_PROTOCOLS",          "WM_DELETE_WINDOW",        "_NET_WM_STATE",
    "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_ABOVE", "_NET_WM_NAME",
    "UTF8_STRING",           "_MOTIF_WM_HINTS",         "_NET_ACTIVE_WINDOW",
    "_NET_FRAME_EXTENTS",    "_NET_SUPPORTING_WM_CHECK",
};

struct X11Window {
  // Fixed at Init.
  int32_t width = 0, height = 0, flags = 0;
  std::string title;
  bool allowShm = true;

  Display* display = nullptr;
  int screenNumber = 0;
  Window root = 0;
  Window window = 0;
  bool windowGone = false;  // destroyed by someone else
  Visual* visual = nullptr;
  int visualDepth = 0;
  Colormap colormap = 0;  // ours, when the visual is not the default one
  GC gc = nullptr;
  Cursor hiddenCursor = 0;
  Atom atoms[ATOM_COUNT] = {};
  bool windowManager = false;
  bool errorHandlerInstalled = false;

  // The image the window is painted from.
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  bool useShm = false;
  bool shmPending = false;        // the server may still be reading the segment
  bool imageOnFramebuffer = false;  // data points straight at the framebuffer
  bool direct = false;            // framebuffer pixels are the image's pixels
  int shmCompletion = 0;          // event type of a finished XShmPutImage
  uint32_t redOf[256] = {}, greenOf[256] = {}, blueOf[256] = {};  // 8-bit channel -> pixel bits
  uint32_t paletteOf[256] = {};  // palette index -> pixel
  std::vector<uint32_t> pixelOf565;  // 16-bit screens: every 5-6-5 value -> pixel

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
  bool detectableRepeat = false;
  bool reconcileFocus = true;

  // Mouse.
  int32_t buttons = 0, wheel = 0, horizontalWheel = 0;
  int32_t lastX = 0, lastY = 0;
  Time lastClickTime = 0;
  int32_t lastClickButton = 0;
  bool clipped = false;
  bool cursorHidden = false;

  // Presentation counters (display lock).
  int64_t presents = 0, presentedRows = 0;
  std::vector<int32_t> modes;  // program thread
};

// The open window; created by Init and deleted by Exit on the program's
// thread, so the window thread sees it only between the two.
X11Window* current = nullptr;
bool shmAllowed = true;

// --- X errors ---
// Xlib's default handler ends the process.  Errors on the window's own
// connection (a shared-memory attach the server refuses, a window someone
// else destroyed) are recorded instead; other connections keep theirs.
std::atomic<Display*> trappedDisplay{nullptr};
std::atomic<int> trappedError{0};
XErrorHandler previousHandler = nullptr;

int RecordError(Display* display, XErrorEvent* error) {
  if (display == trappedDisplay.load()) {
    trappedError = error->error_code;
    return 0;
  }
  return previousHandler ? previousHandler(display, error) : 0;
}

void InstallErrorHandler(X11Window& x) {
  trappedDisplay = x.display;
  trappedError = 0;
  previousHandler = XSetErrorHandler(RecordError);
  x.errorHandlerInstalled = true;
}

void RemoveErrorHandler(X11Window& x) {
  if (!x.errorHandlerInstalled) return;
  XSetErrorHandler(previousHandler);
  previousHandler = nullptr;
  trappedDisplay = nullptr;
  x.errorHandlerInstalled = false;
}

// Runs a request and waits for the server's answer; true when it caused
// no error.
template <typename Request>
bool Checked(X11Window& x, Request request) {
  XSync(x.display, False);
  trappedError = 0;
  request();
  XSync(x.display, False);
  return trappedError.load() == 0;
}

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

// Writes rows first..last of the image, pixel i of a row from pixelOf(row, i).
template <typename PixelOf>
void ConvertBand(X11Window& x, const ScreenContext& screen, int first, int last,
                 PixelOf pixelOf) {
  XImage* image = x.image;
  for (int y = first; y <= last; ++y) {
    const uint8_t* src = screen.framebuffer + size_t(y) * size_t(screen.pitch);
    char* dst = image->data + size_t(y) * size_t(image->bytes_per_line);
    if (image->bits_per_pixel == 32) {
      auto* out = reinterpret_cast<uint32_t*>(dst);
      for (int i = 0; i < screen.width; ++i) out[i] = pixelOf(src, i);
    } else if (image->bits_per_pixel == 16) {
      auto* out = reinterpret_cast<uint16_t*>(dst);
      for (int i = 0; i < screen.width; ++i) out[i] = uint16_t(pixelOf(src, i));
    } else {
      for (int i = 0; i < screen.width; ++i) XPutPixel(image, i, y, pixelOf(src, i));
    }
  }
}

// Brings rows first..last of the image up to date with the framebuffer.
void FillImage(X11Window& x, const ScreenContext& screen, int first, int last) {
  if (x.direct) {
    for (int y = first; y <= last; ++y)
      std::memcpy(x.image->data + size_t(y) * size_t(x.image->bytes_per_line),
                  screen.framebuffer + size_t(y) * size_t(screen.pitch), size_t(screen.pitch));
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
                                  nullptr, &x.shm, unsigned(x.width), unsigned(x.height));
  if (!image) return false;
  const size_t bytes = size_t(image->bytes_per_line) * size_t(x.height);
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

bool CreateImage(X11Window& x, const ScreenContext& screen) {
  if (CreateShmImage(x)) {
    SetupPixelFormat(x, screen);
    return true;
  }
  XImage* image = XCreateImage(x.display, x.visual, unsigned(x.visualDepth), ZPixmap, 0, nullptr,
                               unsigned(x.width), unsigned(x.height), 32, 0);
  if (!image) return false;
  image->byte_order = NATIVE_BYTE_ORDER;  // Xlib swaps for the server if it must
  x.image = image;
  SetupPixelFormat(x, screen);
  if (x.direct && image->bytes_per_line == screen.pitch) {
    // XPutImage copies out of the framebuffer during the call itself, so
    // the image can simply point at it.
    x.imageOnFramebuffer = true;
    return true;
  }
  const size_t bytes = size_t(image->bytes_per_line) * size_t(x.height);
  if (image->bytes_per_line <= 0 || bytes / size_t(x.height) != size_t(image->bytes_per_line))
    return false;
  // XDestroyImage frees the data with free().
  image->data = static_cast<char*>(std::calloc(bytes, 1));
  return image->data != nullptr;
}

void DestroyImage(X11Window& x) {
  if (!x.image) return;
  if (x.useShm) {
    XShmDetach(x.display, &x.shm);
    XSync(x.display, False);
    shmdt(x.shm.shmaddr);
    x.image->data = nullptr;
  } else if (x.imageOnFramebuffer) {
    x.image->data = nullptr;
  }
  XDestroyImage(x.image);
  x.image = nullptr;
  x.useShm = false;
  x.imageOnFramebuffer = false;
}

// --- Presentation (window thread, or the program's thread under the lock) ---

void PresentRows(X11Window& x, ScreenContext& screen, int first, int last) {
  if (!x.image || x.windowGone) return;
  if (first < 0) first = 0;
  if (last > x.height - 1) last = x.height - 1;
  if (first > last) return;
  if (screen.paletteChanged) {
    BuildPaletteTable(x, screen);
    screen.paletteChanged = 0;
  }
  const unsigned rows = unsigned(last - first + 1);
  if (x.useShm) {
    // The server reads the segment after the request has gone out; the
    // previous copy must be finished before the segment is written again.
    // Its completion event has usually arrived by the next tick; only when
    // it has not is a round trip needed.
    XEvent done;
    if (x.shmPending && !XCheckTypedWindowEvent(x.display, x.window, x.shmCompletion, &done))
      XSync(x.display, False);
    x.shmPending = false;
    FillImage(x, screen, first, last);
    XShmPutImage(x.display, x.window, x.gc, x.image, 0, first, x.offsetX, x.offsetY + first,
                 unsigned(x.width), rows, True);
    x.shmPending = true;
  } else {
    if (x.imageOnFramebuffer)
      x.image->data = reinterpret_cast<char*>(screen.framebuffer);
    else
      FillImage(x, screen, first, last);
    XPutImage(x.display, x.window, x.gc, x.image, 0, first, x.offsetX, x.offsetY + first,
              unsigned(x.width), rows);
  }
  XFlush(x.display);
  ++x.presents;
  x.presentedRows += rows;
}

void MarkAllRowsDirty(ScreenContext& screen) {
  std::memset(screen.dirtyRows, 1, size_t(screen.height) * size_t(screen.scanLineHeight));
}

// --- Window placement and state ---

void PlacePicture(X11Window& x, int windowWidth, int windowHeight) {
  x.windowWidth = windowWidth;
  x.windowHeight = windowHeight;
  x.offsetX = windowWidth > x.width ? (windowWidth - x.width) / 2 : 0;
  x.offsetY = windowHeight > x.height ? (windowHeight - x.height) / 2 : 0;
}

// Paints the background around the picture.  A tick may have presented
// at the old place before the resize was seen, so the server's own clearing
// of the resized window is not enough.
void ClearAroundPicture(X11Window& x) {
  const int right = x.offsetX + x.width, bottom = x.offsetY + x.height;
  struct Area {
    int left, top, width, height;
  };
  const Area areas[] = {
      {0, 0, x.windowWidth, x.offsetY},
      {0, bottom, x.windowWidth, x.windowHeight - bottom},
      {0, x.offsetY, x.offsetX, x.height},
      {right, x.offsetY, x.windowWidth - right, x.height},
  };
  for (const Area& a : areas)
    // A width or height of 0 would mean "to the window's edge".
    if (a.width > 0 && a.height > 0)
      XClearArea(x.display, x.window, a.left, a.top, unsigned(a.width), unsigned(a.height),
                 False);
}

// A window the user cannot resize, except while full screen.
void SetSizeHints(X11Window& x, bool fixed) {
  XSizeHints* hints = XAllocSizeHints();
  if (!hints) return;
  hints->flags = PPosition | USPosition;
  if (fixed) {
    hints->flags |= PMinSize | PMaxSize;
    hints->min_width = hints->max_width = x.width;
    hints->min_height = hints->max_height = x.height;
  }
  XSetWMNormalHints(x.display, x.window, hints);
  XFree(hints);
}

bool DetectWindowManager(X11Window& x) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window child = 0;
  if (XGetWindowProperty(x.display, x.root, x.atoms[ATOM_NET_SUPPORTING_WM_CHECK], 0, 1, False,
                         XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
      data && count == 1 && format == 32)
    child = Window(reinterpret_cast<unsigned long*>(data)[0]);
  if (data) XFree(data);
  if (!child) return false;
  // A window manager that has gone can leave the property behind: its
  // check window must still exist.
  XWindowAttributes attributes;
  return Checked(x, [&] { XGetWindowAttributes(x.display, child, &attributes); });
}

void SendNetWmState(X11Window& x, long action, Atom state) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = x.window;
  event.xclient.message_type = x.atoms[ATOM_NET_WM_STATE];
  event.xclient.format = 32;
  event.xclient.data.l[0] = action;  // 0 remove, 1 add
  event.xclient.data.l[1] = long(state);
  event.xclient.data.l[3] = 1;  // from an application
  XSendEvent(x.display, x.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

void ToggleFullscreen(X11Window& x, ScreenContext& screen) {
  x.fullscreen = !x.fullscreen;
  if (x.windowManager) {
    if (x.fullscreen) SetSizeHints(x, false);
    SendNetWmState(x, x.fullscreen ? 1 : 0, x.atoms[ATOM_NET_WM_STATE_FULLSCREEN]);
    if (!x.fullscreen) SetSizeHints(x, true);
  } else if (x.fullscreen) {
    Window child;
    XTranslateCoordinates(x.display, x.window, x.root, 0, 0, &x.savedX, &x.savedY, &child);
    SetSizeHints(x, false);
    XMoveResizeWindow(x.display, x.window, 0, 0, unsigned(DisplayWidth(x.display, x.screenNumber)),
                      unsigned(DisplayHeight(x.display, x.screenNumber)));
  } else {
    XMoveResizeWindow(x.display, x.window, x.savedX, x.savedY, unsigned(x.width),
                      unsigned(x.height));
    SetSizeHints(x, true);
  }
  XFlush(x.display);
  MarkAllRowsDirty(screen);
}

void SetTitle(X11Window& x, const char* title) {
  XStoreName(x.display, x.window, title);
  XChangeProperty(x.display, x.window, x.atoms[ATOM_NET_WM_NAME], x.atoms[ATOM_UTF8_STRING], 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(title),
                  int(std::strlen(title)));
}

void KeepScreenSaverOff(X11Window& x) {
  XGetScreenSaver(x.display, &x.saverTimeout, &x.saverInterval, &x.saverBlanking,
                  &x.saverExposures);
  x.saverSaved = true;
  XSetScreenSaver(x.display, 0, x.saverInterval, x.saverBlanking, x.saverExposures);
  XResetScreenSaver(x.display);
  int eventBase = 0, errorBase = 0;
  if (DPMSQueryExtension(x.display, &eventBase, &errorBase) && DPMSCapable(x.display)) {
    CARD16 level = 0;
    BOOL enabled = False;
    DPMSInfo(x.display, &level, &enabled);
    x.dpmsWasEnabled = enabled;
    if (enabled) DPMSDisable(x.display);
  }
}

void RestoreScreenSaver(X11Window& x) {
  if (!x.saverSaved) return;
  XSetScreenSaver(x.display, x.saverTimeout, x.saverInterval, x.saverBlanking, x.saverExposures);
  if (x.dpmsWasEnabled) DPMSEnable(x.display);
  x.saverSaved = false;
}

// --- Keyboard ---

void BuildKeycodeTable(X11Window& x) {
  std::memset(x.keycodeKey, 0, sizeof x.keycodeKey);
  int minCode = 0, maxCode = 0, perCode = 0;
  XDisplayKeycodes(x.display, &minCode, &maxCode);
  if (minCode < 0 || maxCode > 255 || minCode > maxCode) return;
  KeySym* symbols = XGetKeyboardMapping(x.display, KeyCode(minCode), maxCode - minCode + 1,
                                        &perCode);
  if (!symbols) return;
  // The first symbol of a key that names a virtual key wins: the
  // unshifted one of the first layout, or of a later one for keys that
  // type only letters of another script there.
  for (int code = minCode; code <= maxCode; ++code) {
    for (int i = 0; i < perCode; ++i) {
      const int32_t key = VirtualKeyOfKeysym(uint32_t(symbols[(code - minCode) * perCode + i]));
      if (key != VK_NONE) {
        x.keycodeKey[code] = uint8_t(key);
        break;
      }
    }
  }
  XFree(symbols);
}

void SetActive(X11Window& x, ScreenContext& screen, bool active) {
  if (active == WindowActive()) return;
  SetWindowActive(active);
  // Releases that happen while another window has the focus never reach
  // this one: forget every held key so none stays stuck.
  std::memset(screen.keyState, 0, KEY_STATE_SIZE);
  x.keysDown.reset();
  x.buttons = 0;
  MarkAllRowsDirty(screen);
  if (x.clipped) {
    if (active)
      XGrabPointer(x.display, x.window, True, 0, GrabModeAsync, GrabModeAsync, x.window, None,
                   CurrentTime);
    else
      XUngrabPointer(x.display, CurrentTime);
  }
  PostEvent(active ? EVENT_FOCUS_GAINED : EVENT_FOCUS_LOST);
}

// Without detectable auto-repeat the server reports a held key as release
// and press pairs with one timestamp; the release is not a real one.
bool IsRepeatRelease(X11Window& x, const XKeyEvent& release) {
  if (x.detectableRepeat || !XEventsQueued(x.display, QueuedAfterReading)) return false;
  XEvent next;
  XPeekEvent(x.display, &next);
  return next.type == KeyPress && next.xkey.keycode == release.keycode &&
         next.xkey.time == release.time;
}

void HandleKey(X11Window& x, ScreenContext& screen, XKeyEvent& key) {
  const bool press = key.type == KeyPress;
  if (!press && IsRepeatRelease(x, key)) return;

  char text[16];
  KeySym symbol = NoSymbol;
  const int length = XLookupString(&key, text, int(sizeof text), &symbol, nullptr);
  const KeySym unshifted = XLookupKeysym(&key, 0);
  // Keypad keys follow NumLock (Home or 7); the others are named by their
  // unshifted symbol, so Shift+1 is still the key "1".  A key whose symbol
  // names no virtual key (é on a French "2") keeps the one it samples as.
  int32_t virtualKey = VirtualKeyOfKeysym(uint32_t(IsKeypadKey(unshifted) ? symbol : unshifted));
  if (virtualKey == VK_NONE) virtualKey = x.keycodeKey[key.keycode & 0xFF];
  const int scancode = ScancodeOfVirtualKey(virtualKey);

  uint32_t control = 0;
  if (key.state & ShiftMask) control |= CTRL_STATE_SHIFT;
  if (key.state & ControlMask) control |= CTRL_STATE_LEFT_CTRL;
  if (key.state & Mod1Mask) control |= CTRL_STATE_LEFT_ALT;
  if (IsExtendedKeysym(uint32_t(symbol)) || IsExtendedKeysym(uint32_t(unshifted)))
    control |= CTRL_STATE_EXTENDED;

  // The typed character, as code page 437: control characters (Ctrl+letter)
  // come from the lookup's text, everything else from the symbol.  The
  // function and keypad symbols (0xFF00 up) type only what the symbol
  // table says: the lookup would give Delete the character 127.
  uint32_t codePoint = 0;
  bool typed = false;
  const bool functionKey = symbol >= 0xFF00 && symbol <= 0xFFFF;
  if (!functionKey && length == 1 && static_cast<unsigned char>(text[0]) < 0x80) {
    codePoint = static_cast<unsigned char>(text[0]);
    typed = true;
  } else {
    codePoint = UnicodeOfKeysym(uint32_t(symbol));
    typed = codePoint != 0;
  }
  int32_t character = typed ? Cp437OfUnicode(codePoint) : 0;
  if (character < 0) {
    typed = false;  // the code page has no such character
    character = 0;
  }
  int32_t own = Cp437OfUnicode(UnicodeOfKeysym(uint32_t(unshifted)));
  if (own < 0) own = 0;
  const int32_t code = TranslateKey(character, scancode, control, own);

  const bool repeat = press && x.keysDown[key.keycode];
  x.keysDown[key.keycode] = press;

  // Keys pressed with Alt held, Alt itself and F10 are system keys: they
  // give a release-kind event and nothing in the key queue.
  const bool systemKey = (key.state & Mod1Mask) || virtualKey == VK_MENU || virtualKey == VK_F10;
  int32_t kind = EVENT_KEY_RELEASE;
  if (press && !systemKey) {
    kind = repeat ? EVENT_KEY_REPEAT : EVENT_KEY_PRESS;
    if (code > 255) PutKey(code);
    if (typed) PutKey(int32_t(int8_t(uint8_t(character))));
  }
  if (press && !repeat && (key.state & Mod1Mask) && virtualKey == VK_RETURN &&
      !(x.flags & SCREEN_NO_SWITCH) && WindowActive())
    ToggleFullscreen(x, screen);

  // F10, Alt and Alt+F4 are swallowed whole: no event.
  if (virtualKey == VK_F10 || virtualKey == VK_MENU || code == KEY_CLOSE) return;
  const int32_t eventCharacter = uint32_t(code) <= 255 ? code : 0;
  PostEvent(kind, scancode, eventCharacter);
}

// --- Mouse ---

int32_t ButtonBit(unsigned button) {
  switch (button) {
    case Button1: return 1;
    case Button2: return 4;
    case Button3: return 2;
    case 8: return 8;
    case 9: return 16;
    default: return 0;
  }
}

void HandleButton(X11Window& x, const XButtonEvent& event) {
  if (event.type == ButtonPress) {
    switch (event.button) {
      case Button4: case Button5:
        x.wheel += event.button == Button4 ? WHEEL_NOTCH : -WHEEL_NOTCH;
        PostEvent(EVENT_MOUSE_WHEEL, x.wheel);
        return;
      case 6: case 7:
        x.horizontalWheel += event.button == 7 ? WHEEL_NOTCH : -WHEEL_NOTCH;
        PostEvent(EVENT_MOUSE_HWHEEL, x.horizontalWheel);
        return;
      default: break;
    }
  }
  const int32_t bit = ButtonBit(event.button);
  if (!bit) return;
  if (event.type == ButtonRelease) {
    x.buttons &= ~bit;
    PostEvent(EVENT_MOUSE_RELEASE, bit);
    return;
  }
  x.buttons |= bit;
  const bool twice = bit == x.lastClickButton && event.time - x.lastClickTime < DOUBLE_CLICK_MS;
  x.lastClickButton = twice ? 0 : bit;
  x.lastClickTime = event.time;
  PostEvent(twice ? EVENT_MOUSE_DOUBLE_CLICK : EVENT_MOUSE_PRESS, bit);
}

void HandleMotion(X11Window& x, int windowX, int windowY) {
  const int32_t px = windowX - x.offsetX, py = windowY - x.offsetY;
  PostEvent(EVENT_MOUSE_MOVE, px, py, px - x.lastX, py - x.lastY);
  x.lastX = px;
  x.lastY = py;
}

// --- Window hooks (window thread) ---

bool ChooseVisual(X11Window& x) {
  XVisualInfo wanted{};
  wanted.visualid = XVisualIDFromVisual(DefaultVisual(x.display, x.screenNumber));
  int count = 0;
  XVisualInfo* info = XGetVisualInfo(x.display, VisualIDMask, &wanted, &count);
  if (info && count > 0 && info->c_class == TrueColor && info->depth >= 15) {
    x.visual = info->visual;
    x.visualDepth = info->depth;
    XFree(info);
    return true;
  }
  if (info) XFree(info);
  // Palette-based root windows are left to the server's TrueColor visual.
  XVisualInfo found{};
  if (!XMatchVisualInfo(x.display, x.screenNumber, 24, TrueColor, &found)) return false;
  x.visual = found.visual;
  x.visualDepth = found.depth;
  x.colormap = XCreateColormap(x.display, x.root, x.visual, AllocNone);
  return true;
}

void SetInitialWindowProperties(X11Window& x) {
  SetSizeHints(x, !x.fullscreen);
  SetTitle(x, x.title.c_str());
  XClassHint* classHint = XAllocClassHint();
  if (classHint) {
    std::string name = x.title.empty() ? std::string("fb") : x.title;
    std::string className = "Fb";
    classHint->res_name = name.data();
    classHint->res_class = className.data();
    XSetClassHint(x.display, x.window, classHint);
    XFree(classHint);
  }
  XWMHints* wmHints = XAllocWMHints();
  if (wmHints) {
    wmHints->flags = InputHint | StateHint;
    wmHints->input = True;
    wmHints->initial_state = NormalState;
    XSetWMHints(x.display, x.window, wmHints);
    XFree(wmHints);
  }
  XSetWMProtocols(x.display, x.window, &x.atoms[ATOM_WM_DELETE_WINDOW], 1);
  if (x.flags & SCREEN_NO_FRAME) {
    // flags, functions, decorations, input mode, status: decorations off.
    const long motif[5] = {2, 0, 0, 0, 0};
    XChangeProperty(x.display, x.window, x.atoms[ATOM_MOTIF_WM_HINTS],
                    x.atoms[ATOM_MOTIF_WM_HINTS], 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(motif), 5);
  }
  Atom states[2];
  int stateCount = 0;
  if (x.flags & SCREEN_ALWAYS_ON_TOP) states[stateCount++] = x.atoms[ATOM_NET_WM_STATE_ABOVE];
  if (x.fullscreen) states[stateCount++] = x.atoms[ATOM_NET_WM_STATE_FULLSCREEN];
  if (stateCount)
    XChangeProperty(x.display, x.window, x.atoms[ATOM_NET_WM_STATE], XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(states), stateCount);
}

void WaitUntilMapped(X11Window& x) {
  const auto deadline = std::chrono::steady_clock::now() + MAP_TIMEOUT;
  XEvent event;
  while (!XCheckTypedWindowEvent(x.display, x.window, MapNotify, &event)) {
    if (std::chrono::steady_clock::now() > deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void TakeFocus(X11Window& x) {
  if (x.windowManager) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = x.window;
    event.xclient.message_type = x.atoms[ATOM_NET_ACTIVE_WINDOW];
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // from an application
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x.display, x.root, False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
  }
  // Refused (BadMatch) when the window is not viewable yet; the window
  // manager or a click gives the focus later then.
  Checked(x, [&] { XSetInputFocus(x.display, x.window, RevertToParent, CurrentTime); });
}

bool CreateWindow(X11Window& x, ScreenContext& screen) {
  x.screenNumber = DefaultScreen(x.display);
  x.root = RootWindow(x.display, x.screenNumber);
  InstallErrorHandler(x);
  if (!ChooseVisual(x)) return false;
  XInternAtoms(x.display, const_cast<char**>(ATOM_NAMES), ATOM_COUNT, False, x.atoms);
  x.windowManager = DetectWindowManager(x);
  x.fullscreen = (x.flags & SCREEN_FULLSCREEN) != 0;

  const int displayWidth = DisplayWidth(x.display, x.screenNumber);
  const int displayHeight = DisplayHeight(x.display, x.screenNumber);
  int left = std::max(0, (displayWidth - x.width) / 2);
  int top = std::max(0, (displayHeight - x.height) / 2);
  int windowWidth = x.width, windowHeight = x.height;
  x.savedX = left;
  x.savedY = top;
  if (x.fullscreen && !x.windowManager) {
    left = top = 0;
    windowWidth = displayWidth;
    windowHeight = displayHeight;
  }
  PlacePicture(x, windowWidth, windowHeight);

  XSetWindowAttributes attributes{};
  attributes.background_pixel = 0;  // black in every TrueColor visual
  attributes.border_pixel = 0;
  attributes.colormap = x.colormap ? x.colormap : DefaultColormap(x.display, x.screenNumber);
  attributes.event_mask = KeyPressMask | KeyReleaseMask | FocusChangeMask | ExposureMask |
                          StructureNotifyMask | ButtonPressMask | ButtonReleaseMask |
                          PointerMotionMask | EnterWindowMask | LeaveWindowMask;
  x.window = XCreateWindow(x.display, x.root, left, top, unsigned(windowWidth),
                           unsigned(windowHeight), 0, x.visualDepth, InputOutput, x.visual,
                           CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  if (!x.window) return false;
  SetInitialWindowProperties(x);
  x.gc = XCreateGC(x.display, x.window, 0, nullptr);
  if (!x.gc || !CreateImage(x, screen)) return false;

  Bool supported = False;
  XkbSetDetectableAutoRepeat(x.display, True, &supported);
  x.detectableRepeat = supported;
  BuildKeycodeTable(x);
  KeepScreenSaverOff(x);

  XMapRaised(x.display, x.window);
  WaitUntilMapped(x);
  TakeFocus(x);
  MarkAllRowsDirty(screen);
  return true;
}

void Release(X11Window& x) {
  if (!x.display) return;
  if (x.clipped) XUngrabPointer(x.display, CurrentTime);
  RestoreScreenSaver(x);
  DestroyImage(x);
  if (x.gc) XFreeGC(x.display, x.gc);
  if (x.hiddenCursor) XFreeCursor(x.display, x.hiddenCursor);
  if (x.window && !x.windowGone) XDestroyWindow(x.display, x.window);
  if (x.colormap) XFreeColormap(x.display, x.colormap);
  x.gc = nullptr;
  x.hiddenCursor = 0;
  x.window = 0;
  x.colormap = 0;
  // Closing flushes the requests above; errors they raise (a window that
  // is already gone) still go to the handler that ignores them.
  XCloseDisplay(x.display);
  x.display = nullptr;
  RemoveErrorHandler(x);
}

bool OpenHook(void* user) {
  X11Window& x = *static_cast<X11Window*>(user);
  ScreenContext* screen = Screen();
  if (!screen) return false;
  x.display = XOpenDisplay(nullptr);
  if (!x.display) return false;
  if (!CreateWindow(x, *screen)) {
    Release(x);
    return false;
  }
  return true;
}

void PresentHook(void* user, int firstRow, int lastRow) {
  if (ScreenContext* screen = Screen())
    PresentRows(*static_cast<X11Window*>(user), *screen, firstRow, lastRow);
}

void SampleHook(void* user, uint8_t* keyState) {
  X11Window& x = *static_cast<X11Window*>(user);
  char keys[32];
  XQueryKeymap(x.display, keys);
  uint8_t held[256] = {};
  for (int code = 0; code < 256; ++code)
    if ((keys[code / 8] >> (code % 8)) & 1) held[x.keycodeKey[code]] = 1;
  held[VK_NONE] = 0;  // keys without a virtual key
  SampleKeyState(keyState, held);
}

void DispatchHook(void* user) {
  X11Window& x = *static_cast<X11Window*>(user);
  ScreenContext* screen = Screen();
  if (!screen) return;
  if (x.reconcileFocus) {
    // The window counts as active from the start; the focus may still
    // have gone elsewhere before the first tick.
    x.reconcileFocus = false;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(x.display, &focus, &revert);
    if (focus != x.window) {
      SetWindowActive(false);
      std::memset(screen->keyState, 0, KEY_STATE_SIZE);  // this tick sampled someone else's keys
    }
  }
  bool repaint = false;
  while (XPending(x.display)) {
    XEvent event;
    XNextEvent(x.display, &event);
    if (event.xany.window != x.window && event.type != x.shmCompletion &&
        event.type != MappingNotify)
      continue;
    switch (event.type) {
      case KeyPress:
      case KeyRelease:
        HandleKey(x, *screen, event.xkey);
        break;
      case FocusIn:
      case FocusOut:
        // Keyboard grabs (a window manager's Alt+Tab) come and go without
        // the focus moving; the move itself is reported separately.
        if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) break;
        if (event.type == FocusOut && event.xfocus.detail == NotifyInferior) break;
        SetActive(x, *screen, event.type == FocusIn);
        break;
      case Expose:
        if (event.xexpose.count == 0) repaint = true;
        break;
      case ConfigureNotify:
        if (event.xconfigure.width != x.windowWidth || event.xconfigure.height != x.windowHeight) {
          PlacePicture(x, event.xconfigure.width, event.xconfigure.height);
          ClearAroundPicture(x);
          repaint = true;
        }
        break;
      case MapNotify:
        repaint = true;
        break;
      case DestroyNotify:
        // Destroyed from outside: nothing is drawn any more, and the
        // program is told as if the close box had been pressed.
        x.windowGone = true;
        PutKey(KEY_CLOSE);
        PostEvent(EVENT_CLOSE);
        break;
      case ClientMessage:
        if (event.xclient.message_type == x.atoms[ATOM_WM_PROTOCOLS] &&
            Atom(event.xclient.data.l[0]) == x.atoms[ATOM_WM_DELETE_WINDOW]) {
          PutKey(KEY_CLOSE);
          PostEvent(EVENT_CLOSE);
        }
        break;
      case MappingNotify:
        XRefreshKeyboardMapping(&event.xmapping);
        BuildKeycodeTable(x);
        break;
      case ButtonPress:
      case ButtonRelease:
        HandleButton(x, event.xbutton);
        break;
      case MotionNotify:
        HandleMotion(x, event.xmotion.x, event.xmotion.y);
        break;
      case EnterNotify:
      case LeaveNotify:
        if (event.xcrossing.mode == NotifyNormal)
          PostEvent(event.type == EnterNotify ? EVENT_MOUSE_ENTER : EVENT_MOUSE_LEAVE);
        break;
      default:
        if (event.type == x.shmCompletion) x.shmPending = false;
        break;
    }
  }
  if (repaint) PresentRows(x, *screen, 0, x.height - 1);
}

void CloseHook(void* user) { Release(*static_cast<X11Window*>(user)); }

// --- Driver operations (program thread) ---

std::once_flag threadsInitialised;

int X11Init(const char* title, int32_t width, int32_t height, int32_t depth, int32_t refreshRate,
            int32_t flags) {
  (void)depth;
  (void)refreshRate;  // no way to change the display's rate
  // Shaped windows would need the shape extension; OpenGL is another driver.
  if (flags < 0 || (flags & (SCREEN_OPENGL | SCREEN_SHAPED_WINDOW))) return -1;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return -1;
  ScreenContext* screen = Screen();
  if (!screen || current || width <= 0 || height <= 0) return -1;
  std::call_once(threadsInitialised, [] { XInitThreads(); });

  auto* x = new X11Window;
  x->width = width;
  x->height = height;
  x->flags = flags;
  x->title = title ? title : "";
  x->allowShm = shmAllowed;
  screen->refreshRate = 0;  // unknown without the display's mode information
  current = x;
  const WindowHooks hooks{OpenHook, PresentHook, SampleHook, DispatchHook, CloseHook, x};
  if (StartWindowThread(hooks) != 0) {
    current = nullptr;
    delete x;
    return -1;
  }
  return 0;
}

void X11Exit() {
  StopWindowThread();
  if (!current) return;
  Release(*current);  // already done by the thread unless it never ran
  delete current;
  current = nullptr;
}

void X11SetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
  if (!current || index < 0 || index > 255) return;
  auto clamp = [](int32_t v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
  LockDisplay();
  if (ScreenContext* screen = Screen()) {
    screen->devicePalette[index] = clamp(red) | clamp(green) << 8 | clamp(blue) << 16;
    screen->paletteChanged = 1;
    // Every indexed pixel on show may use the entry.
    if (screen->bpp == 1) MarkAllRowsDirty(*screen);
  }
  UnlockDisplay();
}

void X11WaitVSync() {
  const ScreenContext* screen = Screen();
  const int32_t rate = screen ? screen->refreshRate : 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(rate > 0 ? 1000 / rate : 16));
}

int X11GetMouse(int32_t* px, int32_t* py, int32_t* wheel, int32_t* buttons, int32_t clipped) {
  if (!current) return -1;
  X11Window& x = *current;
  int result = -1;
  LockDisplay();
  if (x.display && !x.windowGone && WindowActive()) {
    Window rootReturn, childReturn;
    int rootX, rootY, windowX, windowY;
    unsigned int mask = 0;
    if (XQueryPointer(x.display, x.window, &rootReturn, &childReturn, &rootX, &rootY, &windowX,
                      &windowY, &mask)) {
      int32_t mx = windowX - x.offsetX, my = windowY - x.offsetY;
      if (clipped > 0) {
        mx = std::clamp(mx, 0, x.width - 1);
        my = std::clamp(my, 0, x.height - 1);
      }
      if (mx >= 0 && my >= 0 && mx < x.width && my < x.height) {
        if (px) *px = mx;
        if (py) *py = my;
        if (wheel) *wheel = x.wheel;
        if (buttons)
          *buttons = ((mask & Button1Mask) ? 1 : 0) | ((mask & Button3Mask) ? 2 : 0) |
                     ((mask & Button2Mask) ? 4 : 0);
        result = 0;
      }
    }
  }
  UnlockDisplay();
  return result;
}

void X11SetMouse(int32_t mx, int32_t my, int32_t visible, int32_t clip) {
  if (!current) return;
  X11Window& x = *current;
  LockDisplay();
  if (x.display && !x.windowGone) {
    if (mx >= 0) {
      mx = std::min(mx, x.width - 1);
      my = std::clamp(my, 0, x.height - 1);
      XWarpPointer(x.display, None, x.window, 0, 0, 0, 0, x.offsetX + mx, x.offsetY + my);
    }
    if (visible == 0 && !x.cursorHidden) {
      if (!x.hiddenCursor) {
        static const char blank[1] = {0};
        Pixmap empty = XCreateBitmapFromData(x.display, x.window, blank, 1, 1);
        XColor black{};
        x.hiddenCursor = XCreatePixmapCursor(x.display, empty, empty, &black, &black, 0, 0);
        XFreePixmap(x.display, empty);
      }
      XDefineCursor(x.display, x.window, x.hiddenCursor);
      x.cursorHidden = true;
    } else if (visible > 0 && x.cursorHidden) {
      XUndefineCursor(x.display, x.window);
      x.cursorHidden = false;
    }
    if (clip > 0 && !x.clipped) {
      x.clipped = true;
      if (WindowActive())
        XGrabPointer(x.display, x.window, True, 0, GrabModeAsync, GrabModeAsync, x.window, None,
                     CurrentTime);
    } else if (clip == 0 && x.clipped) {
      x.clipped = false;
      XUngrabPointer(x.display, CurrentTime);
    }
    XFlush(x.display);
  }
  UnlockDisplay();
}

void X11SetWindowTitle(const char* title) {
  if (!current) return;
  LockDisplay();
  if (current->display && !current->windowGone) {
    SetTitle(*current, title ? title : "");
    XFlush(current->display);
  }
  UnlockDisplay();
}

// The frame's width on the left and at the top, as the window manager
// reports it (0 without one).
void FrameExtents(X11Window& x, int* left, int* top) {
  *left = *top = 0;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(x.display, x.window, x.atoms[ATOM_NET_FRAME_EXTENTS], 0, 4, False,
                         XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
      data && count == 4 && format == 32) {
    const long* extents = reinterpret_cast<const long*>(data);  // left, right, top, bottom
    *left = int(extents[0]);
    *top = int(extents[2]);
  }
  if (data) XFree(data);
}

int32_t X11SetWindowPosition(int32_t left, int32_t top) {
  if (!current) return 0;
  X11Window& x = *current;
  int32_t previous = 0;
  LockDisplay();
  if (x.display && !x.windowGone) {
    int clientX = 0, clientY = 0, frameLeft = 0, frameTop = 0;
    Window child;
    XTranslateCoordinates(x.display, x.window, x.root, 0, 0, &clientX, &clientY, &child);
    FrameExtents(x, &frameLeft, &frameTop);
    const int32_t oldLeft = clientX - frameLeft, oldTop = clientY - frameTop;
    previous = int32_t((uint32_t(oldTop) << 16) | (uint32_t(oldLeft) & 0xFFFF));
    if (!x.fullscreen && (left != INT32_MIN || top != INT32_MIN)) {
      XMoveWindow(x.display, x.window, left == INT32_MIN ? oldLeft : left,
                  top == INT32_MIN ? oldTop : top);
      XFlush(x.display);
    }
  }
  UnlockDisplay();
  return previous;
}

const int32_t* X11FetchModes(int32_t depth, int32_t* count) {
  if (count) *count = 0;
  if (!current) return nullptr;
  switch (depth) {
    case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32: break;
    default: return nullptr;
  }
  X11Window& x = *current;
  // The server cannot switch modes without extensions we do not use; it
  // shows any depth through conversion, so every depth has the one mode.
  LockDisplay();
  if (x.display) {
    const int32_t w = DisplayWidth(x.display, x.screenNumber);
    const int32_t h = DisplayHeight(x.display, x.screenNumber);
    x.modes.assign(1, int32_t((uint32_t(w) << 16) | uint32_t(h)));
  }
  UnlockDisplay();
  if (count) *count = int32_t(x.modes.size());
  return x.modes.empty() ? nullptr : x.modes.data();
}

}  // namespace

const DisplayDriver X11_DRIVER = {
    "X11",
    X11Init,
    X11Exit,
    LockDisplay,
    UnlockDisplay,
    X11SetPalette,
    X11WaitVSync,
    X11GetMouse,
    X11SetMouse,
    X11SetWindowTitle,
    X11SetWindowPosition,
    X11FetchModes,
    nullptr,
    nullptr,
};

void X11AllowShm(bool allow) { shmAllowed = allow; }

bool X11UsingShm() {
  if (!current) return false;
  LockDisplay();
  const bool shm = current->useShm;
  UnlockDisplay();
  return shm;
}

unsigned long X11WindowId() {
  if (!current) return 0;
  LockDisplay();
  const unsigned long id = current->window;
  UnlockDisplay();
  return id;
}

X11PresentStats X11Stats() {
  if (!current) return {0, 0};
  LockDisplay();
  const X11PresentStats stats{current->presents, current->presentedRows};
  UnlockDisplay();
  return stats;
}

bool X11PresentNow(int32_t firstRow, int32_t lastRow) {
  ScreenContext* screen = Screen();
  if (!current || !screen || firstRow < 0 || lastRow < firstRow || lastRow >= screen->height)
    return false;
  LockDisplay();
  bool done = false;
  if (current->display) {
    PresentRows(*current, *screen, firstRow, lastRow);
    XSync(current->display, False);
    current->shmPending = false;
    done = true;
  }
  UnlockDisplay();
  return done;
}

}  // namespace fb
