// Cost of presenting framebuffer rows through the X11 driver: a whole
// 1024 x 768 frame and a 20-row band, through MIT-SHM and through plain
// XPutImage, at scale 1 and 2 (FB_SCALE), each copy waited for until the
// server has finished it.  Needs an X server (DISPLAY) whose screen holds
// a 2048 x 1536 window for the scaled cases, e.g.
//   Xvfb :5 -screen 0 2304x1792x24 & DISPLAY=:5 build/release/bench/present_x11_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/drivers/x11.h"
#include "platform/screen.h"

namespace {

constexpr int WIDTH = 1024;
constexpr int HEIGHT = 768;

// Opens a screen on the X11 driver; false (with the reason set on the
// state) when that is not possible here.
bool OpenScreen(benchmark::State& state, int depth, bool shm, int scale) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    state.SkipWithError("DISPLAY is not set: no X server to present to");
    return false;
  }
  unsetenv("SCRDRIVER");
  setenv("FB_SCALE", std::to_string(scale).c_str(), 1);
  fb::X11AllowShm(shm);
  if (fb::SetScreenMode(WIDTH, HEIGHT, depth, 0, 0, 0) != 0 ||
      std::strcmp(fb::Screen()->driver->name, "X11") != 0) {
    state.SkipWithError("the X11 driver could not open a window");
    return false;
  }
  if (fb::X11UsingShm() != shm) {
    fb::CloseScreen();
    state.SkipWithError("the server offers no MIT-SHM");
    return false;
  }
  // Something other than the background, so that no path could skip work.
  fb::ScreenLock();
  fb::ScreenContext& s = *fb::Screen();
  for (size_t i = 0; i < size_t(s.pitch) * size_t(s.height); ++i)
    s.framebuffer[i] = uint8_t(i * 7);
  fb::ScreenUnlock(1, 0);
  return true;
}

// Arguments: rows presented, 1 for MIT-SHM, framebuffer depth, scale.
void BM_Present(benchmark::State& state) {
  const int rows = int(state.range(0));
  const bool shm = state.range(1) != 0;
  if (!OpenScreen(state, int(state.range(2)), shm, int(state.range(3)))) return;
  const int first = (HEIGHT - rows) / 2;
  for (auto _ : state) {
    if (!fb::X11PresentNow(first, first + rows - 1)) {
      state.SkipWithError("presentation failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * rows * fb::Screen()->pitch);
  fb::CloseScreen();
  fb::X11AllowShm(true);
}

BENCHMARK(BM_Present)
    ->ArgNames({"rows", "shm", "depth", "scale"})
    ->Args({HEIGHT, 1, 32, 1})
    ->Args({HEIGHT, 0, 32, 1})
    ->Args({20, 1, 32, 1})
    ->Args({20, 0, 32, 1})
    ->Args({HEIGHT, 1, 16, 1})  // converted to the window's pixels first
    ->Args({HEIGHT, 0, 16, 1})
    ->Args({HEIGHT, 1, 32, 2})  // four window pixels for each of ours
    ->Args({HEIGHT, 0, 32, 2})
    ->Args({20, 1, 32, 2})
    ->UseRealTime()  // the server does most of the work, in its own process
    ->Unit(benchmark::kMicrosecond);

}  // namespace
