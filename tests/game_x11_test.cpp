// The built game in a real X11 window (tests/game_window_play.h): driven
// with xdotool as a player would, watched through screenshots taken on a
// connection of our own.  Needs DISPLAY and xdotool.
// Built twice: for the native game, and as game_wine_test for the Windows
// build's game, started through FB_SHOOTER_LAUNCHER (Wine).
#include <cstdlib>
#include <string>

#include "game_window_play.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

// Xlib's macros (None, Status, Bool) clash with the test framework.
#undef None
#undef Status
#undef Bool

namespace x11desk {

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

class X11Desk {
 public:
  ~X11Desk() {
    if (display) XCloseDisplay(display);
  }
  bool Ready(std::string* why) {
    if (!std::getenv("DISPLAY")) *why = "no DISPLAY: the window test needs an X server";
    else if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
      *why = "xdotool is not installed: it types the player's keys";
    else if (!(display = XOpenDisplay(nullptr)))
      *why = "cannot connect to the X server";
    unsetenv("WAYLAND_DISPLAY");  // in a Wayland session the game would open there
    return why->empty();
  }
  bool FindWindow(const std::string& name) {
    std::string ids = Run("xdotool search --name '^" + name + "$' 2>/dev/null");
    if (ids.empty()) return false;
    window = std::strtoul(ids.c_str(), nullptr, 10);
    XWindowAttributes a;
    return XGetWindowAttributes(display, Window(window), &a) && a.map_state == IsViewable;
  }
  gameplay::Shot Screenshot() {
    gameplay::Shot shot;
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, Window(window), &a)) return shot;
    XImage* image = XGetImage(display, Window(window), 0, 0, unsigned(a.width), unsigned(a.height),
                              AllPlanes, ZPixmap);
    if (!image) return shot;
    shot.width = a.width;
    shot.height = a.height;
    shot.pixels.resize(size_t(a.width) * size_t(a.height));
    for (int y = 0; y < a.height; ++y)
      for (int x = 0; x < a.width; ++x)
        shot.pixels[size_t(y) * size_t(a.width) + size_t(x)] = uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
    XDestroyImage(image);
    return shot;
  }
  void Keys(const std::string& action, const std::string& keys) {
    std::string w = std::to_string(window);
    Run("xdotool windowfocus --sync " + w + " >/dev/null 2>&1; xdotool " + action + " " + keys);
  }
  void ReleaseKeys() {}

 private:
  Display* display = nullptr;
  unsigned long window = 0;
};

}  // namespace x11desk

#define GAME_DESK x11desk::X11Desk
#include "game_window_cases.h"
