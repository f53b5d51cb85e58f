// The key queue and the key-state table shared by a writer thread, which
// holds the display lock as the window thread does, and the program's
// thread reading through ScreenLock.  Run under ThreadSanitizer, a reader
// that skipped the lock would be reported.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include <fb/platform/driver.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>
#include <fb/platform/window_thread.h>

namespace fb {
namespace {

int InitAlways(const char*, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }

// A windowless driver whose lock is the real display lock.
const DisplayDriver LOCKING_DRIVER = {
    "Locking", InitAlways, nullptr, LockDisplay, UnlockDisplay, nullptr, nullptr,
    nullptr,   nullptr,    nullptr, nullptr,     nullptr,       nullptr, nullptr,
};
const DisplayDriver* const DRIVERS[] = {&LOCKING_DRIVER};

class KeyQueueThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("SCRDRIVER");
    SetDriverList(DRIVERS);
    ASSERT_EQ(SetScreenMode(32, 32, 32, 0, SCREEN_WINDOWED, 0), 0);
    ASSERT_EQ(Screen()->driver, &LOCKING_DRIVER);
    ResetKeyQueue();
  }
  void TearDown() override {
    ResetKeyQueue();
    CloseScreen();
    SetDriverList({});
  }
};

TEST_F(KeyQueueThreads, ReaderSeesKeysInOrderWhileAWriterPuts) {
  constexpr int LAST = 250;
  uint8_t* keyState = Screen()->keyState;
  std::thread writer([keyState] {
    for (int i = 1; i <= LAST; i++) {
      LockDisplay();
      PutKey(ExtendedKey(i));
      keyState[i % KEY_STATE_SIZE] = static_cast<uint8_t>(i & 1);
      UnlockDisplay();
      if (i % 8 == 0) std::this_thread::yield();
    }
  });

  // Keys may be dropped when the reader falls behind, but never reordered
  // or invented, and the last one always arrives.
  int previous = 0;
  int received = 0;
  while (previous != LAST) {
    KeyDown(previous % KEY_STATE_SIZE);
    TakeKeyHitFlag();
    if (!KeyHit()) {
      std::this_thread::yield();
      continue;
    }
    std::string key = ReadKey();
    if (key.empty()) continue;  // only the reader takes keys: cannot happen
    ASSERT_EQ(key.size(), 2u);
    ASSERT_EQ(static_cast<unsigned char>(key[0]), 0xFF);
    int code = static_cast<unsigned char>(key[1]);
    ASSERT_GT(code, previous);
    previous = code;
    received++;
  }
  writer.join();
  EXPECT_GT(received, 0);
  EXPECT_EQ(ReadKey(), "");
}

}  // namespace
}  // namespace fb
