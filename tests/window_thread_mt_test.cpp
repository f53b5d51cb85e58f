// The shared window thread, driven through a driver of the test's own that
// records what it is asked to present.  Runs a second thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fb/platform/driver.h>
#include <fb/platform/screen.h>
#include <fb/platform/window_thread.h>

using namespace fb;
using namespace std::chrono_literals;

namespace {

struct Band {
  int first, last;
};
std::mutex bandsMutex;
std::vector<Band> bands;
std::atomic<int> ticks{0};
std::atomic<bool> failOpen{false};
std::atomic<bool> closed{false};
std::atomic<int> samples{0};
std::atomic<bool> loseWindow{false};

bool Open(void*) { return !failOpen; }
void Present(void*, int first, int last) {
  std::lock_guard<std::mutex> g(bandsMutex);
  bands.push_back({first, last});
}
void Sample(void*, uint8_t* keyState) {
  keyState[17] = 1;
  ++samples;
}
void Dispatch(void*) {
  ++ticks;
  if (loseWindow.exchange(false)) {
    // Rows waiting to be shown when the loss is found stay unshown.
    Screen()->dirtyRows[5] = 1;
    ReportWindowLost("the window went away");
  }
}
void Close(void*) { closed = true; }

// Deliver counts its calls; asked to, it waits until the program's thread
// has taken and released the screen lock, which it can only do if Deliver
// runs outside the display lock.
std::atomic<int> delivers{0};
std::atomic<bool> deliverWaitsForProgram{false};
std::atomic<bool> programLocked{false};
std::atomic<bool> deliverSawProgramLock{false};
void Deliver(void*) {
  ++delivers;
  if (!deliverWaitsForProgram.exchange(false)) return;
  for (int i = 0; i < 500 && !programLocked; ++i) std::this_thread::sleep_for(2ms);
  deliverSawProgramLock = programLocked.load();
}

const WindowHooks HOOKS = {Open, Present, Sample, Dispatch, Close, nullptr, Deliver};

int Init(const char*, int32_t, int32_t, int32_t, int32_t, int32_t) {
  return StartWindowThread(HOOKS);
}
const DisplayDriver THREAD_DRIVER = {"Recording", Init,    StopWindowThread, LockDisplay,
                                     UnlockDisplay, nullptr, nullptr,         nullptr,
                                     nullptr,     nullptr,   nullptr,          nullptr,
                                     nullptr,     nullptr};
const DisplayDriver* const LIST[] = {&THREAD_DRIVER};

// Waits until the window thread has run at least n more ticks.
void WaitTicks(int n) {
  int target = ticks + n;
  for (int i = 0; i < 500 && ticks < target; ++i) std::this_thread::sleep_for(2ms);
}

class WindowThread : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDriverList(LIST);
    failOpen = false;
    closed = false;
    ASSERT_EQ(SetScreenMode(64, 768, 32, 0, 0, 0), 0);
    WaitTicks(2);
    std::lock_guard<std::mutex> g(bandsMutex);
    bands.clear();
  }
  void TearDown() override {
    CloseScreen();
    SetDriverList({});
  }
  std::vector<Band> Bands() {
    std::lock_guard<std::mutex> g(bandsMutex);
    return bands;
  }
};

TEST_F(WindowThread, PresentsTheDirtyBandInOneCopyAndClearsAllFlags) {
  ScreenLock();
  Screen()->dirtyRows[10] = 1;
  Screen()->dirtyRows[700] = 1;
  ScreenUnlock(1, 0);
  WaitTicks(3);
  std::vector<Band> seen = Bands();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, 10);
  EXPECT_EQ(seen[0].last, 700);
  ScreenLock();
  for (int y = 0; y < 768; ++y) ASSERT_EQ(Screen()->dirtyRows[y], 0);
  ScreenUnlock(1, 0);
}

TEST_F(WindowThread, NothingDirtyNothingPresented) {
  WaitTicks(5);
  EXPECT_TRUE(Bands().empty());
  ScreenLock();
  ScreenUnlock(-1, -1);
  WaitTicks(3);
  std::vector<Band> seen = Bands();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, 0);
  EXPECT_EQ(seen[0].last, 767);
}

TEST_F(WindowThread, HoldingTheLockStopsPresentationAndSampling) {
  ScreenLock();
  int before = ticks;
  Screen()->keyState[17] = 0;
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(ticks, before);
  EXPECT_EQ(Screen()->keyState[17], 0);
  ScreenUnlock(-1, -1);
  WaitTicks(2);
  ScreenLock();
  EXPECT_EQ(Screen()->keyState[17], 1);  // sampled while the window is active
  ScreenUnlock(1, 0);
}

// A page's own thread ticks this way: it must never wait for the program.
TEST_F(WindowThread, TryPresentTickDoesNothingWhileAnotherThreadHoldsTheLock) {
  ScreenLock();
  Screen()->dirtyRows[5] = 1;
  bool ticked = true;
  std::thread([&] { ticked = TryPresentTick(HOOKS, *Screen()); }).join();
  EXPECT_FALSE(ticked);
  EXPECT_EQ(Screen()->dirtyRows[5], 1) << "nothing presented, no flag cleared";
  ScreenUnlock(1, 0);
  std::thread([&] {
    // The window thread's own ticks may hold the lock for a moment.
    for (int i = 0; i < 500 && !(ticked = TryPresentTick(HOOKS, *Screen())); ++i)
      std::this_thread::sleep_for(1ms);
  }).join();
  EXPECT_TRUE(ticked);
}

TEST_F(WindowThread, InactiveWindowIsNotSampled) {
  SetWindowActive(false);
  WaitTicks(2);
  int before = samples;
  WaitTicks(3);
  EXPECT_EQ(samples, before);
}

TEST_F(WindowThread, ClosingWhileLockedEndsTheThread) {
  ScreenLock();
  ScreenLock();
  CloseScreen();  // must not deadlock on the held display lock
  EXPECT_TRUE(closed);
  EXPECT_EQ(Screen(), nullptr);
  // The display lock is free again.
  LockDisplay();
  UnlockDisplay();
}

TEST_F(WindowThread, DeliverRunsAfterEachTickWithoutTheDisplayLock) {
  const int before = delivers;
  WaitTicks(3);
  EXPECT_GE(delivers - before, 2);
  deliverWaitsForProgram = true;
  while (deliverWaitsForProgram) std::this_thread::sleep_for(1ms);  // Deliver is waiting now
  ScreenLock();
  programLocked = true;
  ScreenUnlock(1, 0);
  WaitTicks(2);
  EXPECT_TRUE(deliverSawProgramLock);
  programLocked = false;
}

TEST_F(WindowThread, LostWindowStopsTheTicksAndEndsTheProgramAtItsNextLock) {
  WaitTicks(2);
  ScreenLock();
  ASSERT_EQ(Screen()->keyState[17], 1);  // held, as the recording keyboard says
  ScreenUnlock(1, 0);
  loseWindow = true;
  for (int i = 0; i < 500 && !WindowLost(); ++i) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(WindowLost());
  // No lock may be taken any more on this thread; the flag's atomic store
  // orders the window thread's last writes before these reads.
  EXPECT_EQ(Screen()->keyState[17], 0) << "a held key outlived its window";
  const int ticksAtLoss = ticks, samplesAtLoss = samples, deliversAtLoss = delivers;
  std::this_thread::sleep_for(60ms);  // several ticks' worth
  EXPECT_EQ(ticks, ticksAtLoss);
  EXPECT_EQ(samples, samplesAtLoss);
  EXPECT_EQ(delivers, deliversAtLoss);
  EXPECT_TRUE(Bands().empty());
  EXPECT_EQ(Screen()->dirtyRows[5], 1);

  // The child runs the test again up to here in a fresh process, since
  // the window thread holds locks a plain fork would copy.
#if GTEST_HAS_DEATH_TEST
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ScreenLock(), ::testing::ExitedWithCode(WINDOW_LOST_EXIT_STATUS),
              "^window_thread_mt_test: the window went away\n$");
#else
  GTEST_SKIP() << "the end of the program is watched from a second copy of it, which this "
                  "platform cannot start";
#endif
}

// A title change releases the display lock in the middle of a frame, and
// the window can be lost just then.  Wherever the program meets the loss
// next, in the driver's own lock or in taking the frame's lock back, it
// must end with one line, holding nothing and releasing nothing twice
// (which ThreadSanitizer reports).
std::atomic<bool> titleTakesLock{false};
void LoseDuringTitle(const char*) {
  loseWindow = true;
  for (int i = 0; i < 500 && !WindowLost(); ++i) std::this_thread::sleep_for(2ms);
  if (titleTakesLock) {
    LockDisplay();
    UnlockDisplay();
  }
}
// Used by the death test only, which some platforms leave out.
[[maybe_unused]] const DisplayDriver TITLE_DRIVER = {
    "Titled", Init,    StopWindowThread, LockDisplay,     UnlockDisplay, nullptr, nullptr,
    nullptr,  nullptr, LoseDuringTitle,  nullptr,         nullptr,       nullptr, nullptr};

TEST(WindowThreadLoss, MetInATitleChangeInsideAFrameEndsWithTheLockConsistent) {
#if !GTEST_HAS_DEATH_TEST
  GTEST_SKIP() << "the end of the program is watched from a second copy of it, which this "
                  "platform cannot start";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (bool driverLocks : {true, false}) {
    SCOPED_TRACE(driverLocks ? "in the driver's own lock" : "in taking the frame's lock back");
    titleTakesLock = driverLocks;
    auto frame = [] {
      const DisplayDriver* list[] = {&TITLE_DRIVER};
      SetDriverList(list);
      if (SetScreenMode(64, 48, 32, 0, 0, 0) != 0) std::exit(97);
      ScreenLock();
      SetWindowTitle("retitled");
      std::exit(98);  // went on without its window
    };
    EXPECT_EXIT(frame(), ::testing::ExitedWithCode(WINDOW_LOST_EXIT_STATUS),
                "^window_thread_mt_test: the window went away\n$");
  }
#endif
}

// A driver that makes its own pause before each tick (BeforeLock) and has
// something to do as soon as the tick holds the display lock
// (AfterLock).  Each hook appends its letter to the trace; asked to,
// AfterLock or BeforeLock stays a while with "busy" set, so that the
// program's thread can see whether that hook keeps it from the lock.
std::mutex traceMutex;
std::string trace;
std::atomic<char> lingerIn{0};  // 'B' or 'A': the hook that lingers once
std::atomic<bool> busy{false};
void Note(char c) {
  std::lock_guard<std::mutex> g(traceMutex);
  trace += c;
}
void Linger(char hook) {
  char expected = hook;
  if (!lingerIn.compare_exchange_strong(expected, 0)) return;
  busy = true;
  std::this_thread::sleep_for(80ms);
  busy = false;
}
const WindowHooks PACED_HOOKS = {
    Open,
    [](void*, int, int) { Note('P'); },
    [](void*, uint8_t*) { Note('S'); },
    [](void*) { Note('D'); },
    Close,
    nullptr,
    [](void*) { Note('V'); },
    [](void*) {
      Note('B');
      Linger('B');
      std::this_thread::sleep_for(std::chrono::milliseconds(WINDOW_TICK_MS));
    },
    [](void*) {
      Note('A');
      Linger('A');
    }};
const DisplayDriver PACED_DRIVER = {
    "Paced",       [](const char*, int32_t, int32_t, int32_t, int32_t,
                      int32_t) { return StartWindowThread(PACED_HOOKS); },
    StopWindowThread, LockDisplay, UnlockDisplay, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr,       nullptr,       nullptr,      nullptr};

std::string TakeTrace() {
  std::lock_guard<std::mutex> g(traceMutex);
  return std::exchange(trace, std::string());
}

TEST(WindowThreadHooks, PauseBeforeTheLockAndWorkRightAfterIt) {
  const DisplayDriver* list[] = {&PACED_DRIVER};
  SetDriverList(list);
  ASSERT_EQ(SetScreenMode(16, 16, 32, 0, 0, 0), 0);
  auto waitFor = [](const char* part) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard<std::mutex> g(traceMutex);
        if (trace.find(part) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(2ms);
    }
    return false;
  };
  ASSERT_TRUE(waitFor("BASDV"));  // nothing dirty: nothing presented
  TakeTrace();
  ScreenUnlock(-1, -1);
  EXPECT_TRUE(waitFor("APSDVBA")) << TakeTrace();

  // AfterLock holds the display lock: the program's thread gets it only
  // once the hook is done.
  lingerIn = 'A';
  while (!busy) std::this_thread::sleep_for(1ms);
  ScreenLock();
  EXPECT_FALSE(busy) << "AfterLock ran outside the display lock";
  ScreenUnlock(1, 0);

  // BeforeLock does not: the program's thread gets the lock meanwhile.
  lingerIn = 'B';
  while (!busy) std::this_thread::sleep_for(1ms);
  ScreenLock();
  EXPECT_TRUE(busy) << "BeforeLock ran under the display lock";
  ScreenUnlock(1, 0);
  CloseScreen();
  SetDriverList({});
}

TEST(WindowThreadStart, FailedOpenFailsInitAndTheSearchGoesOn) {
  SetDriverList(LIST);
  failOpen = true;
  EXPECT_EQ(SetScreenMode(32, 32, 32, 0, 0, 0), 1);
  EXPECT_EQ(Screen(), nullptr);
  failOpen = false;
  EXPECT_EQ(SetScreenMode(32, 32, 32, 0, 0, 0), 0);
  CloseScreen();
  SetDriverList({});
}

}  // namespace
