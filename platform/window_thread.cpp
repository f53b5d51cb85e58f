#include "window_thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "driver_support.h"
#include "runtime.h"
#include "screen.h"

namespace fb {

namespace {

enum class StartState { Waiting, Opened, Failed };

struct WindowThreadState {
  std::recursive_mutex displayLock;
  std::thread thread;
  std::atomic<bool> running{false};
  std::atomic<bool> active{false};
  WindowHooks hooks{};
  std::mutex startMutex;
  std::condition_variable startSignal;
  StartState start = StartState::Waiting;
  std::atomic<bool> lost{false};
  std::atomic<bool> ending{false};  // the program's thread is on its way out
  std::mutex reasonMutex;
  std::string lostReason;
  WindowTickTimes tickTimes{};  // display lock
};

// Set on the window thread itself: it must never end the program, only
// stop using the window.
thread_local bool onWindowThread = false;

// How many times this thread holds the display lock through LockDisplay
// (and ScreenLock, which takes it through the driver).  A title change
// inside a frame releases the lock while the screen's lock count stays
// up, so the count alone does not tell what a program ending there holds.
thread_local int displayLockHolds = 0;

WindowThreadState& State() {
  // Never destroyed: the exit routine that closes the screen may run after
  // static destructors would have.
  static WindowThreadState* state = new WindowThreadState;
  return *state;
}

void ReportStart(WindowThreadState& w, StartState result) {
  std::lock_guard<std::mutex> guard(w.startMutex);
  w.start = result;
  w.startSignal.notify_all();
}

void WindowThreadMain() {
  WindowThreadState& w = State();
  onWindowThread = true;
  const WindowHooks hooks = w.hooks;
  if (!hooks.Open || !hooks.Open(hooks.user)) {
    ReportStart(w, StartState::Failed);
    return;
  }
  w.active = true;
  ReportStart(w, StartState::Opened);
  while (w.running.load()) {
    if (hooks.BeforeLock) {
      hooks.BeforeLock(hooks.user);
      if (!w.running.load()) break;
    }
    if (ScreenContext* screen = Screen()) PresentTick(hooks, *screen);
    if (hooks.Deliver && !WindowLost()) hooks.Deliver(hooks.user);
    if (!hooks.BeforeLock) std::this_thread::sleep_for(std::chrono::milliseconds(WINDOW_TICK_MS));
  }
  // Close under the lock: the program's thread may still call driver
  // operations that touch the window until it has joined this thread.
  std::lock_guard<std::recursive_mutex> guard(w.displayLock);
  if (hooks.Close) hooks.Close(hooks.user);
}

}  // namespace

int StartWindowThread(const WindowHooks& hooks) {
  WindowThreadState& w = State();
  if (w.thread.joinable()) return -1;  // one window at a time
  w.hooks = hooks;
  w.start = StartState::Waiting;
  w.active = false;
  w.lost = false;
  w.running = true;
  try {
    w.thread = std::thread(WindowThreadMain);
  } catch (const std::system_error&) {
    w.running = false;
    return -1;
  }
  std::unique_lock<std::mutex> lock(w.startMutex);
  w.startSignal.wait(lock, [&] { return w.start != StartState::Waiting; });
  bool opened = w.start == StartState::Opened;
  lock.unlock();
  if (!opened) {
    w.thread.join();
    w.running = false;
    w.lost = false;  // a window that never opened is a failed Init, not a loss
    return -1;
  }
  return 0;
}

void StopWindowThread() {
  WindowThreadState& w = State();
  if (!w.thread.joinable()) return;
  w.running = false;
  // The program may be ending in the middle of a frame: release the lock
  // its ScreenLock holds, or the window thread could never finish its tick.
  ReleaseProgramScreenLock();
  w.thread.join();
  w.active = false;
  w.lost = false;  // the program closed the screen itself
}

void ReleaseProgramScreenLock() {
  ScreenContext* screen = Screen();
  if (screen && screen->lockCount != 0) {
    screen->lockCount = 0;
    if (displayLockHolds > 0) {
      --displayLockHolds;
      State().displayLock.unlock();
    }
  }
}

namespace {

[[noreturn]] void EndLostProgram(WindowThreadState& w) {
  std::string reason;
  {
    std::lock_guard<std::mutex> guard(w.reasonMutex);
    reason = w.lostReason;
  }
  // The program leaves holding nothing, and its lock count says so: the
  // exit routines that close the screen then release nothing twice.
  if (ScreenContext* screen = Screen()) screen->lockCount = 0;
  for (; displayLockHolds > 0; --displayLockHolds) w.displayLock.unlock();
  std::fprintf(stderr, "%s: %s\n", ProgramName().c_str(), reason.c_str());
  std::exit(WINDOW_LOST_EXIT_STATUS);
}

}  // namespace

void LockDisplay() {
  WindowThreadState& w = State();
  w.displayLock.lock();
  ++displayLockHolds;
  // Checked after the lock is had: a loss found by the tick this thread
  // was waiting for ends the program before it draws another frame.  The
  // exit routines may take the lock again; they must get it.
  if (w.lost.load() && !onWindowThread && !w.ending.exchange(true)) EndLostProgram(w);
}
void UnlockDisplay() {
  --displayLockHolds;
  State().displayLock.unlock();
}

void ReportWindowLost(const std::string& reason) {
  WindowThreadState& w = State();
  if (w.lost.load()) return;
  {
    std::lock_guard<std::mutex> guard(w.reasonMutex);
    w.lostReason = reason;
  }
  // Releases can no longer arrive: nothing may stay held.
  if (ScreenContext* screen = Screen()) std::memset(screen->keyState, 0, KEY_STATE_SIZE);
  w.active = false;
  w.lost = true;
}

bool WindowLost() { return State().lost.load(); }

void SetWindowActive(bool active) { State().active = active; }
bool WindowActive() { return State().active.load(); }

namespace {

// The tick's work, with the display lock held; releases it.
void PresentLockedTick(const WindowHooks& hooks, ScreenContext& screen) {
  const auto start = std::chrono::steady_clock::now();
  // A loss may be found inside any of the hooks; the ones after it are
  // not called.
  if (hooks.AfterLock && !WindowLost()) hooks.AfterLock(hooks.user);
  const int rows = screen.height * screen.scanLineHeight;
  int first = 0;
  while (first < rows && !screen.dirtyRows[first]) ++first;
  const bool presenting = first < rows && !WindowLost();
  if (presenting) {
    int last = rows - 1;
    while (!screen.dirtyRows[last]) --last;
    if (hooks.Present) hooks.Present(hooks.user, first, last);
    std::memset(screen.dirtyRows, 0, size_t(rows));
  }
  if (WindowActive() && !WindowLost() && hooks.Sample) hooks.Sample(hooks.user, screen.keyState);
  if (!WindowLost() && hooks.Dispatch) hooks.Dispatch(hooks.user);
  const int64_t held = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now() - start).count();
  WindowTickTimes& t = State().tickTimes;
  if (presenting) {
    ++t.presentingTicks;
    t.presentingNanoseconds += held;
    t.longestPresentingNanoseconds = std::max(t.longestPresentingNanoseconds, held);
  } else {
    ++t.quietTicks;
    t.quietNanoseconds += held;
  }
  UnlockDisplay();
}

}  // namespace

void PresentTick(const WindowHooks& hooks, ScreenContext& screen) {
  LockDisplay();
  PresentLockedTick(hooks, screen);
}

bool TryPresentTick(const WindowHooks& hooks, ScreenContext& screen) {
  if (!State().displayLock.try_lock()) return false;
  PresentLockedTick(hooks, screen);
  return true;
}

WindowTickTimes TickTimes() {
  std::lock_guard<std::recursive_mutex> guard(State().displayLock);
  return State().tickTimes;
}

void ResetTickTimes() {
  std::lock_guard<std::recursive_mutex> guard(State().displayLock);
  State().tickTimes = {};
}

}  // namespace fb
