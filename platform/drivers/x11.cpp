// The "X11" display driver.  The window thread owns its own connection to
// the X server: it creates the window in the Open hook, copies dirty rows
// out, samples and dispatches in the ticks of window_thread.cpp, sends the
// copied rows in the Deliver hook after each tick, and closes the window
// and the connection in the Close hook.  The driver operations called on
// the program's thread (title, position, mouse, modes, palette) use the
// same connection only while holding the display lock, which the window
// thread holds for its whole tick; a send may overlap them, which Xlib's
// own locking (XInitThreads) allows.
#include "x11.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "x11_window.h"
#include "../events.h"
#include "../keyboard.h"
#include "../screen.h"
#include "../window_thread.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/dpms.h>

namespace fb::x11 {

namespace {

const char* const ATOM_NAMES[ATOM_COUNT] = {
    "WM_PROTOCOLS",          "WM_DELETE_WINDOW",        "_NET_WM_STATE",
    "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_ABOVE", "_NET_WM_NAME",
    "UTF8_STRING",           "_MOTIF_WM_HINTS",         "_NET_ACTIVE_WINDOW",
    "_NET_FRAME_EXTENTS",    "_NET_SUPPORTING_WM_CHECK",
};

// How long Open waits for the window manager to map the window.
constexpr auto MAP_TIMEOUT = std::chrono::seconds(2);

// The open window; created by Init and deleted by Exit on the program's
// thread, so the window thread sees it only between the two.
X11Window* current = nullptr;
bool shmAllowed = true;

// Connections that broke: never used again, never closed (window thread,
// or the program's thread after it has joined the window thread).
struct AbandonedConnection {
  Display* display;
  GC gc;
};
// Never destroyed: a program may end while its connection is abandoned.
std::vector<AbandonedConnection>& abandonedConnections = *new std::vector<AbandonedConnection>;

// The display that last could not be reached, and when (program thread).
constexpr auto UNREACHABLE_MEMORY = std::chrono::seconds(5);
std::string unreachableDisplay;
std::chrono::steady_clock::time_point unreachableSince;

// --- X errors ---
// Xlib's default handlers end the process.  Errors on the window's own
// connection (a shared-memory attach the server refuses, a window someone
// else destroyed) are recorded instead; other connections keep theirs.
std::atomic<Display*> trappedDisplay{nullptr};
std::atomic<int> trappedError{0};
XErrorHandler previousHandler = nullptr;
XIOErrorHandler previousIOHandler = nullptr;

int RecordError(Display* display, XErrorEvent* error) {
  if (display == trappedDisplay.load()) {
    trappedError = error->error_code;
    return 0;
  }
  return previousHandler ? previousHandler(display, error) : 0;
}

// A broken connection.  Xlib's own handler would call exit() right here,
// on whichever thread made the failing call (usually the window thread,
// while the program's thread draws).  For our connection the handler
// returns quietly and the exit handler below takes over.
int QuietIOError(Display* display) {
  if (display == trappedDisplay.load()) return 0;
  return previousIOHandler ? previousIOHandler(display) : 0;
}

// Called by Xlib after the I/O-error handler, in place of exit().  When
// it returns, every later call on the connection returns at once without
// waiting; the driver makes none but XCloseDisplay.  It may run on either
// thread, with or without the display lock (a frame is sent without it),
// so it only raises the flag; the window thread's next dispatch reports
// the loss under the lock.
void ConnectionLost(Display*, void* user) { static_cast<X11Window*>(user)->connectionLost = true; }

void InstallErrorHandler(X11Window& x) {
  trappedDisplay = x.display;
  trappedError = 0;
  previousHandler = XSetErrorHandler(RecordError);
  previousIOHandler = XSetIOErrorHandler(QuietIOError);
  XSetIOErrorExitHandler(x.display, ConnectionLost, &x);
  x.errorHandlerInstalled = true;
}

void RemoveErrorHandler(X11Window& x) {
  if (!x.errorHandlerInstalled) return;
  XSetErrorHandler(previousHandler);
  XSetIOErrorHandler(previousIOHandler);
  previousHandler = nullptr;
  previousIOHandler = nullptr;
  trappedDisplay = nullptr;
  x.errorHandlerInstalled = false;
}

}  // namespace

void BeginErrorTrap(X11Window& x) {
  XSync(x.display, False);
  trappedError = 0;
}

bool EndErrorTrap(X11Window& x) {
  XSync(x.display, False);
  return trappedError.load() == 0;
}

namespace {

// --- Window placement and state ---

void PlacePicture(X11Window& x, int windowWidth, int windowHeight) {
  x.windowWidth = windowWidth;
  x.windowHeight = windowHeight;
  x.offsetX = windowWidth > x.pictureWidth ? (windowWidth - x.pictureWidth) / 2 : 0;
  x.offsetY = windowHeight > x.pictureHeight ? (windowHeight - x.pictureHeight) / 2 : 0;
}

// Paints the background around the picture.  A tick may have presented
// at the old place before the resize was seen, so the server's own clearing
// of the resized window is not enough.
void ClearAroundPicture(X11Window& x) {
  const int right = x.offsetX + x.pictureWidth, bottom = x.offsetY + x.pictureHeight;
  struct Area {
    int left, top, width, height;
  };
  const Area areas[] = {
      {0, 0, x.windowWidth, x.offsetY},
      {0, bottom, x.windowWidth, x.windowHeight - bottom},
      {0, x.offsetY, x.offsetX, x.pictureHeight},
      {right, x.offsetY, x.windowWidth - right, x.pictureHeight},
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
    hints->min_width = hints->max_width = x.pictureWidth;
    hints->min_height = hints->max_height = x.pictureHeight;
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

}  // namespace

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
    XMoveResizeWindow(x.display, x.window, x.savedX, x.savedY, unsigned(x.pictureWidth),
                      unsigned(x.pictureHeight));
    SetSizeHints(x, true);
  }
  XFlush(x.display);
  MarkAllRowsDirty(screen);
}

namespace {

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
  SettingVerdict verdict = SettingVerdict::Unset;
  x.scale = WindowScale(x.scaleSetting.c_str(), displayWidth, displayHeight, x.width, x.height,
                        &verdict);
  SetScaleSetting({verdict, x.scaleSetting, x.scale});
  x.pictureWidth = x.width * x.scale;
  x.pictureHeight = x.height * x.scale;
  int left = std::max(0, (displayWidth - x.pictureWidth) / 2);
  int top = std::max(0, (displayHeight - x.pictureHeight) / 2);
  int windowWidth = x.pictureWidth, windowHeight = x.pictureHeight;
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
  if (x.connectionLost) {
    // No Xlib call may touch the connection again (see x11_window.h), not
    // even to close it: it is kept, never closed, for the little while
    // until the program ends.  Only our own side of the image is freed.
    DestroyImage(x);
    abandonedConnections.push_back({x.display, x.gc});
    x.display = nullptr;
    x.gc = nullptr;
    RemoveErrorHandler(x);
    return;
  }
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
  if (!x.display) {
    x.unreachable = true;
    return false;
  }
  // A server that goes away while the window is being made fails the
  // start like any server that cannot make it.
  if (!CreateWindow(x, *screen) || x.connectionLost) {
    Release(x);
    return false;
  }
  return true;
}

void PresentHook(void* user, int firstRow, int lastRow) {
  X11Window& x = *static_cast<X11Window*>(user);
  if (ScreenContext* screen = Screen(); screen && !x.windowGone && !x.connectionLost)
    StageRows(x, *screen, firstRow, lastRow);
}

void DeliverHook(void* user) {
  if (const ScreenContext* screen = Screen()) SendStaged(*static_cast<X11Window*>(user), *screen);
}

void SampleHook(void* user, uint8_t* keyState) {
  X11Window& x = *static_cast<X11Window*>(user);
  if (!x.connectionLost) SampleKeyboard(x, keyState);
}

// Under the display lock, on the window thread.
bool ReportedConnectionLoss(X11Window& x) {
  if (!x.connectionLost) return false;
  ReportWindowLost("lost the connection to the X display \"" + x.displayName + "\"");
  return true;
}

void DispatchHook(void* user) {
  X11Window& x = *static_cast<X11Window*>(user);
  ScreenContext* screen = Screen();
  if (!screen || ReportedConnectionLoss(x)) return;
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
  while (!x.connectionLost && !x.windowGone && XPending(x.display)) {
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
        // Only someone else destroys the window while it runs.
        x.windowGone = true;
        ReportWindowLost("the window on the X display \"" + x.displayName +
                         "\" was destroyed by another program");
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
  if (ReportedConnectionLoss(x)) return;
  // Sent by Deliver right after this tick, with whatever Present staged.
  if (repaint && !x.windowGone) StageRows(x, *screen, 0, x.height - 1);
}

void CloseHook(void* user) { Release(*static_cast<X11Window*>(user)); }

// --- Driver operations (program thread) ---

// Whether requests about the window can still be made.
bool Usable(const X11Window& x) { return x.display && !x.windowGone && !x.connectionLost; }

std::once_flag threadsInitialised;

int X11Init(const char* title, int32_t width, int32_t height, int32_t depth, int32_t refreshRate,
            int32_t flags) {
  (void)depth;
  (void)refreshRate;  // no way to change the display's rate
  // Shaped windows would need the shape extension; OpenGL is another driver.
  if (flags < 0 || (flags & (SCREEN_OPENGL | SCREEN_SHAPED_WINDOW))) {
    SetDisplayFailure("the X11 window offers neither OpenGL nor shaped windows");
    return -1;
  }
  const char* display = DisplayNamedBy("DISPLAY");
  if (!display) return -1;
  const std::string cannotOpen = "cannot open the X display \"" + std::string(display) + "\"";
  // The driver search tries up to four times in a row; a server that did
  // not answer the first try (a remote host may take minutes to time out)
  // is not asked again so soon.
  const auto now = std::chrono::steady_clock::now();
  if (unreachableDisplay == display && now - unreachableSince < UNREACHABLE_MEMORY) {
    SetDisplayFailure(cannotOpen);
    return -1;
  }
  ScreenContext* screen = Screen();
  if (!screen || current || width <= 0 || height <= 0) return -1;
  std::call_once(threadsInitialised, [] { XInitThreads(); });

  auto* x = new X11Window;
  x->width = width;
  x->height = height;
  if (const char* scale = std::getenv("FB_SCALE")) x->scaleSetting = scale;
  x->flags = flags;
  x->title = title ? title : "";
  x->displayName = display;
  x->allowShm = shmAllowed;
  screen->refreshRate = 0;  // unknown without the display's mode information
  current = x;
  const WindowHooks hooks{OpenHook, PresentHook, SampleHook, DispatchHook, CloseHook, x,
                          DeliverHook};
  if (StartWindowThread(hooks) != 0) {
    // The failed thread has been joined: its findings are ours to read.
    if (x->unreachable) {
      unreachableDisplay = display;
      unreachableSince = std::chrono::steady_clock::now();
      SetDisplayFailure(cannotOpen);
    } else {
      SetDisplayFailure("the X display \"" + std::string(display) + "\" could not show a window");
    }
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

int X11GetMouse(int32_t* px, int32_t* py, int32_t* wheel, int32_t* buttons, int32_t clipped) {
  if (!current) return -1;
  X11Window& x = *current;
  int result = -1;
  LockDisplay();
  std::unique_lock<std::mutex> connection(x.connectionMutex);
  if (Usable(x) && WindowActive()) {
    Window rootReturn, childReturn;
    int rootX, rootY, windowX, windowY;
    unsigned int mask = 0;
    if (XQueryPointer(x.display, x.window, &rootReturn, &childReturn, &rootX, &rootY, &windowX,
                      &windowY, &mask)) {
      int32_t mx = FramebufferCoordinate(windowX, x.offsetX, x.scale);
      int32_t my = FramebufferCoordinate(windowY, x.offsetY, x.scale);
      if (clipped > 0) {
        mx = std::clamp(mx, 0, x.width - 1);
        my = std::clamp(my, 0, x.height - 1);
      }
      if (mx >= 0 && my >= 0 && mx < x.width && my < x.height) {
        if (px) *px = mx;
        if (py) *py = my;
        if (wheel) *wheel = x.pointer.wheel;
        // The server's mask has no bits for the side buttons (8 and 9):
        // those are the ones the window saw go down.
        if (buttons)
          *buttons = ((mask & Button1Mask) ? 1 : 0) | ((mask & Button3Mask) ? 2 : 0) |
                     ((mask & Button2Mask) ? 4 : 0) | (x.pointer.buttons & (8 | 16));
        result = 0;
      }
    }
  }
  connection.unlock();
  UnlockDisplay();
  return result;
}

void X11SetMouse(int32_t mx, int32_t my, int32_t visible, int32_t clip) {
  if (!current) return;
  X11Window& x = *current;
  LockDisplay();
  std::unique_lock<std::mutex> connection(x.connectionMutex);
  if (Usable(x)) {
    if (mx >= 0) {
      mx = std::min(mx, x.width - 1);
      my = std::clamp(my, 0, x.height - 1);
      // The middle of the pixel's block, which reads back as the pixel.
      XWarpPointer(x.display, None, x.window, 0, 0, 0, 0, x.offsetX + mx * x.scale + x.scale / 2,
                   x.offsetY + my * x.scale + x.scale / 2);
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
  connection.unlock();
  UnlockDisplay();
}

void X11SetWindowTitle(const char* title) {
  if (!current) return;
  LockDisplay();
  std::unique_lock<std::mutex> connection(current->connectionMutex);
  if (Usable(*current)) {
    SetTitle(*current, title ? title : "");
    XFlush(current->display);
  }
  connection.unlock();
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
  std::unique_lock<std::mutex> connection(x.connectionMutex);
  if (Usable(x)) {
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
  connection.unlock();
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
}  // namespace fb::x11

namespace fb {

using namespace x11;

const DisplayDriver X11_DRIVER = {
    "X11",
    X11Init,
    X11Exit,
    LockDisplay,
    UnlockDisplay,
    StorePaletteEntryLocked,
    SleepOneRefresh,
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
  const X11PresentStats stats{current->presents.load(), current->presentedRows.load()};
  UnlockDisplay();
  return stats;
}

bool X11PresentNow(int32_t firstRow, int32_t lastRow) {
  ScreenContext* screen = Screen();
  if (!current || !screen || firstRow < 0 || lastRow < firstRow || lastRow >= screen->height)
    return false;
  LockDisplay();
  bool done = false;
  if (Usable(*current)) {
    // What a tick and its Deliver do, then a wait for the server.
    StageRows(*current, *screen, firstRow, lastRow);
    SendStaged(*current, *screen);
    std::lock_guard<std::mutex> guard(current->connectionMutex);
    if (!current->connectionLost) XSync(current->display, False);
    current->shmPending = false;
    done = true;
  }
  UnlockDisplay();
  return done;
}

}  // namespace fb
