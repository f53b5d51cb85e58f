#include "window_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

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
};

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
  const WindowHooks hooks = w.hooks;
  if (!hooks.Open || !hooks.Open(hooks.user)) {
    ReportStart(w, StartState::Failed);
    return;
  }
  w.active = true;
  ReportStart(w, StartState::Opened);
  while (w.running.load()) {
    if (ScreenContext* screen = Screen()) PresentTick(hooks, *screen);
    std::this_thread::sleep_for(std::chrono::milliseconds(WINDOW_TICK_MS));
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
  ScreenContext* screen = Screen();
  if (screen && screen->lockCount != 0) {
    screen->lockCount = 0;
    w.displayLock.unlock();
  }
  w.thread.join();
  w.active = false;
}

void LockDisplay() { State().displayLock.lock(); }
void UnlockDisplay() { State().displayLock.unlock(); }

void SetWindowActive(bool active) { State().active = active; }
bool WindowActive() { return State().active.load(); }

void PresentTick(const WindowHooks& hooks, ScreenContext& screen) {
  LockDisplay();
  const int rows = screen.height * screen.scanLineHeight;
  int first = 0;
  while (first < rows && !screen.dirtyRows[first]) ++first;
  if (first < rows) {
    int last = rows - 1;
    while (!screen.dirtyRows[last]) --last;
    if (hooks.Present) hooks.Present(hooks.user, first, last);
    std::memset(screen.dirtyRows, 0, size_t(rows));
  }
  if (WindowActive() && hooks.Sample) hooks.Sample(hooks.user, screen.keyState);
  if (hooks.Dispatch) hooks.Dispatch(hooks.user);
  UnlockDisplay();
}

}  // namespace fb
