// The "Wayland" display driver.  The window thread owns its own
// connection to the compositor: it makes the toplevel in the Open hook,
// copies dirty rows out, samples and dispatches in the ticks of
// window_thread.cpp, commits the copied rows in the Deliver hook after
// each tick, and closes the window and the connection in the Close hook.
#include "wayland.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>

#include "wayland_window.h"
#include "../driver_support.h"
#include "../events.h"
#include "../keyboard.h"
#include "../screen.h"
#include "../window_thread.h"

namespace fb::wl {

namespace {

// How long Open waits for the compositor's first configure.
constexpr auto CONFIGURE_TIMEOUT = std::chrono::seconds(2);

// The open window; created by Init and deleted by Exit on the program's
// thread, so the window thread sees it only between the two.
WaylandWindow* current = nullptr;
bool serverDecorationsAllowed = true;

// --- Outputs ---

void OutputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t) {}
void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height,
                int32_t refresh) {
  auto* o = static_cast<Output*>(data);
  if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
  o->width = width;
  o->height = height;
  o->refreshMilliHz = refresh;
}
void OutputDone(void*, wl_output*) {}
void OutputScale(void* data, wl_output*, int32_t factor) {
  static_cast<Output*>(data)->scale = std::max(1, factor);
}
void OutputText(void*, wl_output*, const char*) {}
const wl_output_listener OUTPUT_LISTENER = {OutputGeometry, OutputMode, OutputDone, OutputScale,
                                            OutputText, OutputText};

// --- Globals ---

void WmBasePing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener WM_BASE_LISTENER = {WmBasePing};

void GlobalAdded(void* data, wl_registry* registry, uint32_t name, const char* interface,
                 uint32_t version) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  const std::string_view is(interface);
  auto bind = [&](const wl_interface* kind, uint32_t wanted) {
    return wl_registry_bind(registry, name, kind, std::min(version, wanted));
  };
  // damage_buffer needs version 4 of the compositor, wl_output.scale 2.
  if (is == wl_compositor_interface.name && version >= 4) {
    w.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (is == wl_shm_interface.name) {
    w.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (is == xdg_wm_base_interface.name) {
    w.wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(w.wmBase, &WM_BASE_LISTENER, &w);
  } else if (is == wl_subcompositor_interface.name) {
    w.subcompositor = static_cast<wl_subcompositor*>(bind(&wl_subcompositor_interface, 1));
  } else if (is == zxdg_decoration_manager_v1_interface.name && w.allowServerDecorations) {
    w.decorationManager = static_cast<zxdg_decoration_manager_v1*>(
        bind(&zxdg_decoration_manager_v1_interface, 1));
  } else if (is == wl_seat_interface.name && !w.seat) {
    // Version 5 reports the wheel in notches; version 3 can release.
    w.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
    ListenToSeat(w);  // before its first event: the devices it has
  } else if (is == wl_output_interface.name && version >= 2) {
    w.outputs.push_back({});
    w.outputs.back().name = name;
  }
}

void GlobalRemoved(void* data, wl_registry*, uint32_t name) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  for (auto o = w.outputs.begin(); o != w.outputs.end(); ++o)
    if (o->name == name) {
      if (o->output) wl_output_destroy(o->output);
      w.outputs.erase(o);
      return;
    }
}
const wl_registry_listener REGISTRY_LISTENER = {GlobalAdded, GlobalRemoved};

// Binds the outputs found by the registry: their listeners need stable
// addresses, which the vector has only once it stops growing.
void BindOutputs(WaylandWindow& w) {
  for (Output& o : w.outputs) {
    if (o.output) continue;
    o.output = static_cast<wl_output*>(
        wl_registry_bind(w.registry, o.name, &wl_output_interface, 2));
    wl_output_add_listener(o.output, &OUTPUT_LISTENER, &o);
  }
}

// --- Placement ---

// The output the window opens on: the compositor tells only once the
// window shows, so the densest one is taken, which a HiDPI screen is.
const Output* ChosenOutput(const WaylandWindow& w) {
  const Output* best = nullptr;
  for (const Output& o : w.outputs)
    if (!best || o.scale > best->scale) best = &o;
  return best;
}

void ChooseScale(WaylandWindow& w) {
  const Output* o = ChosenOutput(w);
  const int32_t outputScale = o ? o->scale : 1;
  const char* setting = w.scaleSetting.empty() ? nullptr : w.scaleSetting.c_str();
  SettingVerdict verdict = SettingVerdict::Unset;
  w.scale = WindowScale(setting, o ? o->width : 0, o ? o->height : 0, w.width, w.height, &verdict);
  // Chosen rather than set: never smaller than the output's own factor,
  // or the program would show smaller than every other window there.
  if (verdict == SettingVerdict::Unset || verdict == SettingVerdict::Unusable) {
    // Within FB_SCALE's own limits: 16, and 16384 pixels a side.
    const int32_t largest = std::max(1, std::min({16, 16384 / w.width, 16384 / w.height}));
    w.scale = std::max(w.scale, std::min(outputScale, largest));
  }
  SetScaleSetting({verdict, w.scaleSetting, w.scale});
  // The buffer scale must divide the buffer's size: the part of the
  // output's factor that divides ours.
  w.bufferScale = std::gcd(w.scale, outputScale);
  w.pictureWidth = w.width * w.scale;
  w.pictureHeight = w.height * w.scale;
  w.windowWidth = w.pictureWidth;
  w.windowHeight = w.pictureHeight;
}

void PlacePicture(WaylandWindow& w, int32_t windowWidth, int32_t windowHeight) {
  w.windowWidth = std::max(windowWidth, w.pictureWidth);
  w.windowHeight = std::max(windowHeight, w.pictureHeight);
  // A buffer's size must be a multiple of its scale.
  w.windowWidth += (w.bufferScale - w.windowWidth % w.bufferScale) % w.bufferScale;
  w.windowHeight += (w.bufferScale - w.windowHeight % w.bufferScale) % w.bufferScale;
  w.offsetX = (w.windowWidth - w.pictureWidth) / 2;
  w.offsetY = (w.windowHeight - w.pictureHeight) / 2;
}

// A window the user cannot resize, except while full screen.
void FixSize(WaylandWindow& w, bool fixed) {
  const int32_t width = fixed ? w.pictureWidth / w.bufferScale : 0;
  const int32_t height = fixed ? w.pictureHeight / w.bufferScale : 0;
  xdg_toplevel_set_min_size(w.toplevel, width, height);
  xdg_toplevel_set_max_size(w.toplevel, width, height);
}

// --- The toplevel ---

void ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height,
                       wl_array* states) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  w.configureWidth = width;
  w.configureHeight = height;
  w.configureFullscreen = w.configureActivated = false;
  const auto* state = static_cast<const uint32_t*>(states->data);
  for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
    if (state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN) w.configureFullscreen = true;
    if (state[i] == XDG_TOPLEVEL_STATE_ACTIVATED) w.configureActivated = true;
  }
}

void ToplevelClose(void*, xdg_toplevel*) {
  // The close box: the program decides; the window stays.
  PutKey(KEY_CLOSE);
  PostEvent(EVENT_CLOSE);
}
void ToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener TOPLEVEL_LISTENER = {ToplevelConfigure, ToplevelClose, ToplevelBounds,
                                                 ToplevelCapabilities};

void SurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(data);
  xdg_surface_ack_configure(surface, serial);
  w.configured = true;
  w.fullscreen = w.configureFullscreen;
  const int32_t oldWidth = w.windowWidth, oldHeight = w.windowHeight;
  if (w.fullscreen && w.configureWidth > 0 && w.configureHeight > 0)
    PlacePicture(w, w.configureWidth * w.bufferScale, w.configureHeight * w.bufferScale);
  else
    PlacePicture(w, w.pictureWidth, w.pictureHeight);
  ScreenContext* screen = Screen();
  const bool resized = w.windowWidth != oldWidth || w.windowHeight != oldHeight;
  if (screen && resized) ResizeBuffers(w, *screen);
  // The compositor's answer about the title bar comes before this.
  const bool ownFrame = !w.serverDecorations && !(w.flags & SCREEN_NO_FRAME) && w.subcompositor;
  if (ownFrame != w.ownFrame || (ownFrame && resized)) {
    w.ownFrame = ownFrame;
    if (ownFrame) {
      ShowOwnFrame(w);
    } else {
      DestroyOwnFrame(w);
      xdg_surface_set_window_geometry(w.xdgSurface, 0, 0, w.windowWidth / w.bufferScale,
                                      w.windowHeight / w.bufferScale);
    }
  }
  if (screen && !w.reconcileActive && w.configureActivated != WindowActive())
    SetActive(w, *screen, w.configureActivated);
  w.activated = w.configureActivated;
}
const xdg_surface_listener SURFACE_LISTENER = {SurfaceConfigure};

void DecorationConfigure(void* data, zxdg_toplevel_decoration_v1*, uint32_t mode) {
  static_cast<WaylandWindow*>(data)->serverDecorations =
      mode == ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE;
}
const zxdg_toplevel_decoration_v1_listener DECORATION_LISTENER = {DecorationConfigure};

bool CreateToplevel(WaylandWindow& w) {
  w.surface = wl_compositor_create_surface(w.compositor);
  if (!w.surface) return false;
  wl_surface_set_buffer_scale(w.surface, w.bufferScale);
  w.xdgSurface = xdg_wm_base_get_xdg_surface(w.wmBase, w.surface);
  xdg_surface_add_listener(w.xdgSurface, &SURFACE_LISTENER, &w);
  w.toplevel = xdg_surface_get_toplevel(w.xdgSurface);
  xdg_toplevel_add_listener(w.toplevel, &TOPLEVEL_LISTENER, &w);
  xdg_toplevel_set_title(w.toplevel, w.title.c_str());
  xdg_toplevel_set_app_id(w.toplevel, w.title.empty() ? "fb" : w.title.c_str());
  FixSize(w, !(w.flags & SCREEN_FULLSCREEN));
  if (w.decorationManager && !(w.flags & SCREEN_NO_FRAME)) {
    w.decoration = zxdg_decoration_manager_v1_get_toplevel_decoration(w.decorationManager,
                                                                       w.toplevel);
    zxdg_toplevel_decoration_v1_add_listener(w.decoration, &DECORATION_LISTENER, &w);
    zxdg_toplevel_decoration_v1_set_mode(w.decoration,
                                         ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
  }
  if (w.flags & SCREEN_FULLSCREEN) xdg_toplevel_set_fullscreen(w.toplevel, nullptr);
  // The first commit carries no buffer: it asks for the first configure.
  wl_surface_commit(w.surface);
  const auto deadline = std::chrono::steady_clock::now() + CONFIGURE_TIMEOUT;
  while (!w.configured) {
    if (wl_display_roundtrip(w.display) < 0 || std::chrono::steady_clock::now() > deadline)
      return false;
  }
  return true;
}

// --- Connection ---

bool Connect(WaylandWindow& w) {
  w.display = wl_display_connect(w.displayName.c_str());
  if (!w.display) {
    w.unreachable = true;
    return false;
  }
  w.registry = wl_display_get_registry(w.display);
  wl_registry_add_listener(w.registry, &REGISTRY_LISTENER, &w);
  if (wl_display_roundtrip(w.display) < 0) return false;
  BindOutputs(w);
  if (wl_display_roundtrip(w.display) < 0) return false;  // the outputs' modes and scales
  return w.compositor && w.shm && w.wmBase;
}

void Release(WaylandWindow& w) {
  if (!w.display) return;
  TearDownPresentation(w);
  ReleaseInput(w);
  DestroyOwnFrame(w);
  if (w.decoration) zxdg_toplevel_decoration_v1_destroy(w.decoration);
  if (w.toplevel) xdg_toplevel_destroy(w.toplevel);
  if (w.xdgSurface) xdg_surface_destroy(w.xdgSurface);
  if (w.surface) wl_surface_destroy(w.surface);
  w.decoration = nullptr;
  w.toplevel = nullptr;
  w.xdgSurface = nullptr;
  w.surface = nullptr;
  for (Output& o : w.outputs)
    if (o.output) wl_output_destroy(o.output);
  w.outputs.clear();
  if (w.seat) wl_seat_destroy(w.seat);
  if (w.decorationManager) zxdg_decoration_manager_v1_destroy(w.decorationManager);
  if (w.subcompositor) wl_subcompositor_destroy(w.subcompositor);
  w.subcompositor = nullptr;
  if (w.wmBase) xdg_wm_base_destroy(w.wmBase);
  if (w.shm) wl_shm_destroy(w.shm);
  if (w.compositor) wl_compositor_destroy(w.compositor);
  if (w.registry) wl_registry_destroy(w.registry);
  w.seat = nullptr;
  w.decorationManager = nullptr;
  w.wmBase = nullptr;
  w.shm = nullptr;
  w.compositor = nullptr;
  w.registry = nullptr;
  // Sends what is still queued (the window's destruction) when it can;
  // a broken connection is simply closed.
  wl_display_flush(w.display);
  wl_display_disconnect(w.display);
  w.display = nullptr;
}

// --- Window hooks (window thread) ---

bool OpenHook(void* user) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(user);
  ScreenContext* screen = Screen();
  if (!screen) return false;
  if (!Connect(w)) {
    Release(w);
    return false;
  }
  ChooseScale(w);
  if (const Output* o = ChosenOutput(w))
    screen->refreshRate = (o->refreshMilliHz + 500) / 1000;
  PlacePicture(w, w.pictureWidth, w.pictureHeight);
  if (!SetUpPresentation(w, *screen) || !CreateToplevel(w)) {
    Release(w);
    return false;
  }
  MarkAllRowsDirty(*screen);
  return true;
}

void PresentHook(void* user, int firstRow, int lastRow) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(user);
  if (ScreenContext* screen = Screen(); screen && !w.connectionLost)
    StageRows(w, *screen, firstRow, lastRow);
}

void DeliverHook(void* user) { SendStaged(*static_cast<WaylandWindow*>(user), true); }

void SampleHook(void* user, uint8_t* keyState) {
  SampleKeyboard(*static_cast<WaylandWindow*>(user), keyState);
}

bool ReportedConnectionLoss(WaylandWindow& w) {
  if (!w.connectionLost) return false;
  ReportWindowLost("lost the connection to the Wayland display \"" + w.displayName + "\"");
  return true;
}

// Reads whatever the compositor has sent without waiting, and dispatches
// it; false when the connection failed.
bool ReadEvents(WaylandWindow& w) {
  while (wl_display_prepare_read(w.display) != 0)
    if (wl_display_dispatch_pending(w.display) < 0) return false;
  if (wl_display_flush(w.display) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(w.display);
    return false;
  }
  pollfd p{wl_display_get_fd(w.display), POLLIN, 0};
  if (poll(&p, 1, 0) > 0) {
    if (wl_display_read_events(w.display) < 0) return false;
  } else {
    wl_display_cancel_read(w.display);
  }
  return wl_display_dispatch_pending(w.display) >= 0;
}

void DispatchHook(void* user) {
  WaylandWindow& w = *static_cast<WaylandWindow*>(user);
  ScreenContext* screen = Screen();
  if (!screen || ReportedConnectionLoss(w)) return;
  if (!ReadEvents(w)) NoteConnectionError(w);
  if (ReportedConnectionLoss(w)) return;
  if (w.reconcileActive) {
    // The window counts as active from the start; the compositor may not
    // have given it the focus.
    w.reconcileActive = false;
    if (!w.activated) {
      SetWindowActive(false);
      std::memset(screen->keyState, 0, KEY_STATE_SIZE);
    }
  }
  RepeatKeys(w);
  if (wl_display_flush(w.display) < 0 && errno != EAGAIN) NoteConnectionError(w);
  ReportedConnectionLoss(w);
}

void CloseHook(void* user) { Release(*static_cast<WaylandWindow*>(user)); }

// --- Driver operations (program thread) ---

int WaylandInit(const char* title, int32_t width, int32_t height, int32_t depth,
                int32_t refreshRate, int32_t flags) {
  (void)depth;
  (void)refreshRate;  // a client cannot change the output's mode
  if (flags < 0 || (flags & (SCREEN_OPENGL | SCREEN_SHAPED_WINDOW))) {
    SetDisplayFailure("the Wayland window offers neither OpenGL nor shaped windows");
    return -1;
  }
  const char* name = DisplayNamedBy("WAYLAND_DISPLAY");
  if (!name) return -1;
  ScreenContext* screen = Screen();
  if (!screen || current || width <= 0 || height <= 0) return -1;
  auto* w = new WaylandWindow;
  w->width = width;
  w->height = height;
  w->flags = flags;
  w->title = title ? title : "";
  w->displayName = name;
  w->allowServerDecorations = serverDecorationsAllowed;
  if (const char* scale = std::getenv("FB_SCALE")) w->scaleSetting = scale;
  screen->refreshRate = 0;
  current = w;
  const WindowHooks hooks{OpenHook, PresentHook, SampleHook, DispatchHook, CloseHook, w,
                          DeliverHook};
  if (StartWindowThread(hooks) != 0) {
    SetDisplayFailure(w->unreachable
                          ? "cannot connect to the Wayland display \"" + w->displayName + "\""
                          : "the Wayland display \"" + w->displayName +
                                "\" could not show a window");
    current = nullptr;
    delete w;
    return -1;
  }
  return 0;
}

void WaylandExit() {
  StopWindowThread();
  if (!current) return;
  Release(*current);  // already done by the thread unless it never ran
  delete current;
  current = nullptr;
}

// Whether requests about the window can still be made.
bool Usable(const WaylandWindow& w) { return w.display && w.toplevel && !w.connectionLost; }

int WaylandGetMouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t clipped) {
  if (!current) return -1;
  WaylandWindow& w = *current;
  int result = -1;
  LockDisplay();
  // Wayland tells where the pointer is only while it is over the window.
  if (Usable(w) && WindowActive() && w.pointerInside) {
    result = AnswerGetMouse(w.pointerState, w.pointerState.x, w.pointerState.y, w.width, w.height,
                            clipped, x, y, wheel, buttons);
  }
  UnlockDisplay();
  return result;
}

void WaylandSetMouse(int32_t, int32_t, int32_t visible, int32_t) {
  if (!current || visible < 0) return;
  LockDisplay();
  if (Usable(*current)) {
    ShowCursor(*current, visible > 0);
    wl_display_flush(current->display);
  }
  UnlockDisplay();
}

void WaylandSetWindowTitle(const char* title) {
  if (!current) return;
  LockDisplay();
  if (Usable(*current)) {
    xdg_toplevel_set_title(current->toplevel, title ? title : "");
    wl_display_flush(current->display);
  }
  UnlockDisplay();
}

int32_t WaylandSetWindowPosition(int32_t, int32_t) { return 0; }

const int32_t* WaylandFetchModes(int32_t depth, int32_t* count) {
  if (count) *count = 0;
  if (!current) return nullptr;
  switch (depth) {
    case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32: break;
    default: return nullptr;
  }
  WaylandWindow& w = *current;
  // The output's own mode: a client cannot change it, and the window
  // converts any depth.
  LockDisplay();
  w.modes.clear();
  if (const Output* o = ChosenOutput(w); o && o->width > 0)
    w.modes.push_back(int32_t((uint32_t(o->width) << 16) | uint32_t(o->height)));
  UnlockDisplay();
  if (count) *count = int32_t(w.modes.size());
  return w.modes.empty() ? nullptr : w.modes.data();
}

}  // namespace

void ToggleFullscreen(WaylandWindow& w) {
  if (w.fullscreen) {
    xdg_toplevel_unset_fullscreen(w.toplevel);
    FixSize(w, true);
  } else {
    FixSize(w, false);
    xdg_toplevel_set_fullscreen(w.toplevel, nullptr);
  }
  // The switch takes effect with the compositor's configure.
}

void NoteConnectionError(WaylandWindow& w) { w.connectionLost = true; }

}  // namespace fb::wl

namespace fb {

using namespace wl;

const DisplayDriver WAYLAND_DRIVER = {
    "Wayland",
    WaylandInit,
    WaylandExit,
    LockDisplay,
    UnlockDisplay,
    StorePaletteEntryLocked,
    SleepOneRefresh,
    WaylandGetMouse,
    WaylandSetMouse,
    WaylandSetWindowTitle,
    WaylandSetWindowPosition,
    WaylandFetchModes,
    nullptr,
    nullptr,
};

void WaylandAllowServerDecorations(bool allow) { serverDecorationsAllowed = allow; }

WaylandPresentStats WaylandStats() {
  if (!current) return {0, 0};
  return {current->presents.load(), current->presentedRows.load()};
}

WaylandGeometry WaylandWindowGeometry() {
  if (!current) return {0, 0, false};
  LockDisplay();
  const WaylandGeometry g{current->scale, current->bufferScale, current->serverDecorations};
  UnlockDisplay();
  return g;
}

bool WaylandPresentNow(int32_t firstRow, int32_t lastRow) {
  ScreenContext* screen = Screen();
  if (!current || !screen || firstRow < 0 || lastRow < firstRow || lastRow >= screen->height)
    return false;
  LockDisplay();
  bool done = false;
  if (Usable(*current)) {
    StageRows(*current, *screen, firstRow, lastRow);
    done = SendStaged(*current, false);
  }
  UnlockDisplay();
  return done;
}

}  // namespace fb
