// Cost of presenting framebuffer rows through the X11 driver: a whole
// 1024 x 768 frame and a 20-row band, through MIT-SHM and through plain
// XPutImage, at scale 1 and 2 (FB_SCALE), each copy waited for until the
// server has finished it.  Needs an X server (DISPLAY) whose screen holds
// a 2048 x 1536 window for the scaled cases, e.g.
//   Xvfb :5 -screen 0 2304x1792x24 & DISPLAY=:5 build/release/bench/present_x11_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <fb/platform/drivers/x11.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>
#include <fb/platform/window_thread.h>

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
  unsetenv("WAYLAND_DISPLAY");
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

// The game's loop against a real window: each frame looks at Escape
// (KeyDown takes the lock), draws every pixel between ScreenLock and
// ScreenUnlock(-1, -1) and sleeps 16 ms, as the frame limiter does, while
// the window thread presents each frame whole.  Counters: how long a
// presenting tick held the display lock (mean, longest), and how long the
// program waited for the lock in a frame (mean, longest, share of the
// frame's time).  Arguments: 1 for MIT-SHM, scale.
void BM_GameLoopLockWait(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const bool shm = state.range(0) != 0;
  if (!OpenScreen(state, 32, shm, int(state.range(1)))) return;
  fb::ScreenContext& s = *fb::Screen();
  fb::ResetTickTimes();
  int64_t waited = 0, longestWait = 0, frames = 0;
  const auto begin = Clock::now();
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(fb::KeyDown(1));
    const auto t1 = Clock::now();
    fb::ScreenLock();
    const auto t2 = Clock::now();
    std::memset(s.framebuffer, int(frames & 0xFF), size_t(s.pitch) * size_t(s.height));
    fb::ScreenUnlock(-1, -1);
    const int64_t wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             (t1 - t0) + (t2 - t1)).count();
    waited += wait;
    longestWait = std::max(longestWait, wait);
    ++frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - begin).count();
  const fb::WindowTickTimes t = fb::TickTimes();
  using benchmark::Counter;
  state.counters["hold_us"] = t.presentingTicks ? double(t.presentingNanoseconds) / double(t.presentingTicks) / 1e3 : 0;
  state.counters["hold_max_us"] = double(t.longestPresentingNanoseconds) / 1e3;
  state.counters["quiet_hold_us"] = t.quietTicks ? double(t.quietNanoseconds) / double(t.quietTicks) / 1e3 : 0;
  state.counters["wait_us"] = double(waited) / double(frames) / 1e3;
  state.counters["wait_max_us"] = double(longestWait) / 1e3;
  state.counters["wait_share_pct"] = 100.0 * double(waited) / elapsed;
  fb::CloseScreen();
  fb::X11AllowShm(true);
}

BENCHMARK(BM_GameLoopLockWait)
    ->ArgNames({"shm", "scale"})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 2})
    ->Iterations(600)  // 10 s of frames
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
