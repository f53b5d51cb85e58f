// Helpers shared by the tests: a screen without a window.
#pragma once
#include <cstdlib>

#include <fb/platform/screen.h>

namespace fbtest {

// Opens a screen on the Null driver with the given flags' marks kept (the
// SCRDRIVER route), so that SCREEN_ALPHA_PRIMITIVES and friends apply.
inline int OpenNullScreen(int width, int height, int depth, int flags = 0) {
  setenv("SCRDRIVER", "null", 1);
  int result = fb::SetScreenMode(width, height, depth, 0, flags, 0);
  unsetenv("SCRDRIVER");
  return result;
}

// Closes whatever screen a test left open.
struct ScreenGuard {
  ~ScreenGuard() { fb::CloseScreen(); }
};

}  // namespace fbtest
