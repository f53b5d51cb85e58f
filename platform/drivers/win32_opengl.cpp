// The "OpenGL" display driver.  Everything runs on the program's thread:
// Init makes the window, its pixel format and the rendering context;
// Flip draws the visible page with glDrawPixels and swaps the buffers;
// PollEvents runs the shared window procedure over the waiting messages.
#include "win32_opengl.h"

#include <algorithm>
#include <new>

#include "../driver_support.h"
#include "../screen.h"
#include "../window_thread.h"
#include "../win32/keys.h"
#include "../win32/window.h"
#include "../win32/win32.h"
// The declarations only: opengl32.dll is loaded at run time.
#include <GL/gl.h>

namespace fb {

namespace {

using win32::Win32Window;

// Packed 5-6-5 pixels (OpenGL 1.2), the framebuffer's 16-bit layout.
constexpr GLenum PIXELS_565 = 0x8363;
// Blue, green, red, alpha bytes: a 32-bit framebuffer pixel as it lies in
// memory.
constexpr GLenum PIXELS_BGRA = 0x80E1;

// The entry points of opengl32.dll the driver uses.
struct GlFunctions {
  HGLRC(WINAPI* CreateContext)(HDC) = nullptr;
  BOOL(WINAPI* MakeCurrent)(HDC, HGLRC) = nullptr;
  BOOL(WINAPI* DeleteContext)(HGLRC) = nullptr;
  void(WINAPI* Viewport)(GLint, GLint, GLsizei, GLsizei) = nullptr;
  void(WINAPI* PixelStorei)(GLenum, GLint) = nullptr;
  void(WINAPI* PixelZoom)(GLfloat, GLfloat) = nullptr;
  void(WINAPI* RasterPos2f)(GLfloat, GLfloat) = nullptr;
  void(WINAPI* DrawPixels)(GLsizei, GLsizei, GLenum, GLenum, const void*) = nullptr;
};

struct OpenGlWindow {
  Win32Window window;
  HMODULE library = nullptr;
  GlFunctions gl;
  // The window's device context, kept while the window lives, and the
  // context drawn through it.
  HDC dc = nullptr;
  HGLRC context = nullptr;
  bool modeChanged = false;
};

// The open window (program thread).
OpenGlWindow* current = nullptr;

OpenGlWindow& OpenGlOf(Win32Window& w) { return *static_cast<OpenGlWindow*>(w.driver); }

bool LoadOpenGl(OpenGlWindow& g) {
  g.library = LoadLibraryA("opengl32.dll");
  GlFunctions& gl = g.gl;
  win32::LookUp(g.library, "wglCreateContext", &gl.CreateContext);
  win32::LookUp(g.library, "wglMakeCurrent", &gl.MakeCurrent);
  win32::LookUp(g.library, "wglDeleteContext", &gl.DeleteContext);
  win32::LookUp(g.library, "glViewport", &gl.Viewport);
  win32::LookUp(g.library, "glPixelStorei", &gl.PixelStorei);
  win32::LookUp(g.library, "glPixelZoom", &gl.PixelZoom);
  win32::LookUp(g.library, "glRasterPos2f", &gl.RasterPos2f);
  win32::LookUp(g.library, "glDrawPixels", &gl.DrawPixels);
  return gl.CreateContext && gl.MakeCurrent && gl.DeleteContext && gl.Viewport &&
         gl.PixelStorei && gl.PixelZoom && gl.RasterPos2f && gl.DrawPixels;
}

// Draws the visible page over the whole back buffer and shows it.
void DrawFrame(OpenGlWindow& g, const ScreenContext& screen) {
  const GlFunctions& gl = g.gl;
  gl.Viewport(0, 0, screen.width, screen.height);
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);  // rows are packed
  // Rows go downwards from the top-left corner, as they lie in memory.
  gl.RasterPos2f(-1.0f, 1.0f);
  gl.PixelZoom(1.0f, -1.0f);
  if (screen.bpp == 2)
    gl.DrawPixels(screen.width, screen.height, GL_RGB, PIXELS_565, screen.framebuffer);
  else
    gl.DrawPixels(screen.width, screen.height, PIXELS_BGRA, GL_UNSIGNED_BYTE, screen.framebuffer);
  SwapBuffers(g.dc);
}

// --- Window steps (program thread, under the display lock) ---

void DestroyOpenGlWindow(Win32Window& w) {
  OpenGlWindow& g = OpenGlOf(w);
  if (g.context) {
    g.gl.MakeCurrent(nullptr, nullptr);
    g.gl.DeleteContext(g.context);
    g.context = nullptr;
  }
  if (g.dc) ReleaseDC(w.hwnd, g.dc);
  g.dc = nullptr;
  if (g.modeChanged) win32::RestoreDisplayMode();
  g.modeChanged = false;
  if (w.hwnd) DestroyWindow(w.hwnd);
  w.hwnd = nullptr;
}

bool SetUpContext(OpenGlWindow& g) {
  PIXELFORMATDESCRIPTOR wanted{};
  wanted.nSize = sizeof wanted;
  wanted.nVersion = 1;
  wanted.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  wanted.iPixelType = PFD_TYPE_RGBA;
  wanted.cColorBits = 24;
  wanted.iLayerType = PFD_MAIN_PLANE;
  const int format = ChoosePixelFormat(g.dc, &wanted);
  if (!format || !SetPixelFormat(g.dc, format, &wanted)) return false;
  g.context = g.gl.CreateContext(g.dc);
  return g.context && g.gl.MakeCurrent(g.dc, g.context);
}

bool CreateOpenGlWindow(Win32Window& w, ScreenContext& screen) {
  OpenGlWindow& g = OpenGlOf(w);
  const DWORD style = win32::WindowStyle(w.flags), exStyle = win32::WindowExStyle(w.flags);
  RECT rect;
  if (w.flags & SCREEN_FULLSCREEN) {
    if (!(g.modeChanged = win32::ChangeDisplayModeFor(w))) return false;
    const POINT origin = win32::MonitorOrigin(w);
    rect = {origin.x, origin.y, origin.x + w.width, origin.y + w.height};
  } else {
    rect = win32::CentredWindowRect(w, style, exStyle);
  }
  if (!win32::CreateWindowOf(w, style, exStyle, rect) || !(g.dc = GetDC(w.hwnd)) ||
      !SetUpContext(g)) {
    DestroyOpenGlWindow(w);
    return false;
  }
  const int rate = GetDeviceCaps(g.dc, VREFRESH);
  screen.refreshRate = rate > 1 ? rate : 0;  // 0 and 1 mean the hardware default
  MarkAllRowsDirty(screen);
  return true;
}

void RepaintOpenGlWindow(Win32Window& w, ScreenContext& screen, HDC) {
  OpenGlWindow& g = OpenGlOf(w);
  if (g.context) DrawFrame(g, screen);
}

const win32::WindowDriverSteps OPENGL_STEPS = {CreateOpenGlWindow, DestroyOpenGlWindow,
                                               RepaintOpenGlWindow};

// --- Driver operations (program thread) ---

void DiscardWindow(OpenGlWindow* g) {
  if (g->library) FreeLibrary(g->library);
  delete g;
}

int OpenGlInit(const char* title, int32_t width, int32_t height, int32_t depth,
               int32_t refreshRate, int32_t flags) {
  if (flags < 0 || !(flags & SCREEN_OPENGL)) return -1;
  ScreenContext* screen = Screen();
  if (!screen || current || width <= 0 || height <= 0) return -1;
  auto* g = new (std::nothrow) OpenGlWindow;
  if (!g) return -1;
  if (!LoadOpenGl(*g) ||
      !win32::StartWindow(g->window, title, width, height, std::max(depth, 16), refreshRate, flags,
                          CS_DBLCLKS, &OPENGL_STEPS, g)) {
    DiscardWindow(g);
    return -1;
  }
  current = g;
  // As a window thread's window does, the new window counts as active
  // from the start; its activation messages say otherwise if need be.
  SetWindowActive(true);
  LockDisplay();
  const bool created = CreateOpenGlWindow(g->window, *screen);
  UnlockDisplay();
  if (!created) {
    SetWindowActive(false);
    current = nullptr;
    win32::EndWindow(g->window);
    DiscardWindow(g);
    return -1;
  }
  return 0;
}

void OpenGlExit() {
  if (!current) return;
  // A program that ends inside ScreenLock still holds the display lock.
  ReleaseProgramScreenLock();
  LockDisplay();
  DestroyOpenGlWindow(current->window);
  UnlockDisplay();
  SetWindowActive(false);
  win32::EndWindow(current->window);
  DiscardWindow(current);
  current = nullptr;
}

void OpenGlFlip() {
  if (!current) return;
  LockDisplay();
  ScreenContext* screen = Screen();
  if (screen && current->context) {
    DrawFrame(*current, *screen);
    std::fill_n(screen->dirtyRows, size_t(screen->height) * size_t(screen->scanLineHeight), 0);
    win32::CountPresent(current->window, 0, screen->height - 1);
  }
  UnlockDisplay();
}

// The window's messages, then the keyboard as they leave it.
void OpenGlPollEvents() {
  if (!current) return;
  LockDisplay();
  win32::DispatchMessages(current->window);
  ScreenContext* screen = Screen();
  if (screen && WindowActive()) win32::SampleThreadKeyboard(screen->keyState);
  UnlockDisplay();
}

}  // namespace

const DisplayDriver OPENGL_DRIVER = {
    "OpenGL",
    OpenGlInit,
    OpenGlExit,
    LockDisplay,
    UnlockDisplay,
    win32::SetPaletteOfCurrent,
    win32::SleepOneRefresh,
    win32::GetMouseOfCurrent,
    win32::SetMouseOfCurrent,
    win32::SetTitleOfCurrent,
    win32::SetPositionOfCurrent,
    win32::FetchModesOfCurrent,
    OpenGlFlip,
    OpenGlPollEvents,
};

}  // namespace fb
