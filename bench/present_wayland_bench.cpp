// Cost of presenting framebuffer rows through the Wayland driver, measured
// as present_x11_bench measures the X11 one: a whole 1024 x 768 frame and
// a 20-row band, at scale 1 and 2 (FB_SCALE), 32 and 16 bits, each commit
// waited for until the compositor has handled it (not until it shows:
// the frame callbacks that pace the window are left out).  Runs on the
// compositor WAYLAND_DISPLAY names or, without one, on a headless sway of
// its own, e.g. beside the X11 one:
//   build/release/bench/present_wayland_bench; build/release/bench/present_x11_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <fb/platform/drivers/wayland.h>
#include <fb/platform/screen.h>
#include "tests/private_sway.h"

namespace {

constexpr int WIDTH = 1024;
constexpr int HEIGHT = 768;

// The compositor presented to: the session's, or one of our own.
bool ReachCompositor(benchmark::State& state) {
  static std::unique_ptr<testsway::PrivateSway> own;
  const char* display = std::getenv("WAYLAND_DISPLAY");
  if ((display && *display) || own) return true;
  own = std::make_unique<testsway::PrivateSway>();
  if (!testsway::PrivateSway::Available() || !own->Start(2560, 1600)) {
    own.reset();
    state.SkipWithError("no WAYLAND_DISPLAY, and no headless sway could be started");
    return false;
  }
  own->Use();
  return true;
}

// Opens a screen on the Wayland driver; false (with the reason set on
// the state) when that is not possible here.
bool OpenScreen(benchmark::State& state, int depth, int scale) {
  if (!ReachCompositor(state)) return false;
  setenv("SCRDRIVER", "wayland", 1);
  setenv("FB_SCALE", std::to_string(scale).c_str(), 1);
  if (fb::SetScreenMode(WIDTH, HEIGHT, depth, 0, 0, 0) != 0 ||
      std::strcmp(fb::Screen()->driver->name, "Wayland") != 0) {
    fb::CloseScreen();
    state.SkipWithError("the Wayland driver could not open a window");
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

// Arguments: rows presented, framebuffer depth, scale.
void BM_Present(benchmark::State& state) {
  const int rows = int(state.range(0));
  if (!OpenScreen(state, int(state.range(1)), int(state.range(2)))) return;
  const int first = (HEIGHT - rows) / 2;
  for (auto _ : state) {
    if (!fb::WaylandPresentNow(first, first + rows - 1)) {
      state.SkipWithError("presentation failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * rows * fb::Screen()->pitch);
  fb::CloseScreen();
}

BENCHMARK(BM_Present)
    ->ArgNames({"rows", "depth", "scale"})
    ->Args({HEIGHT, 32, 1})
    ->Args({20, 32, 1})
    ->Args({HEIGHT, 16, 1})  // converted to the buffer's pixels first
    ->Args({HEIGHT, 32, 2})  // four buffer pixels for each of ours
    ->Args({20, 32, 2})
    ->UseRealTime()  // the compositor does part of the work, in its own process
    ->Unit(benchmark::kMicrosecond);

}  // namespace
