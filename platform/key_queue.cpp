// The process-wide key queue and the key readers.  The window thread puts
// keys in while it holds the display lock; the readers run on the
// program's thread inside ScreenLock/ScreenUnlock(1, 0), so the indices and
// the flag are never touched by both threads at once.  With no screen open
// the readers go to the console ring instead, and there is no second
// thread.
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "console.h"
#include "key_ring.h"
#include "keyboard.h"
#include "screen.h"

namespace fb {

namespace {

constexpr int KEY_QUEUE_SLOTS = 16;  // at most 15 keys wait

KeyRing<KEY_QUEUE_SLOTS> keyQueue;

// One try at taking a key from wherever keys come from now.
bool TryTakeKey(int32_t* code) {
  if (Screen() != nullptr) {
    ScreenLock();
    bool taken = TakeKeyCode(keyQueue, code);
    ScreenUnlock(1, 0);
    return taken;
  }
  PollConsole();
  // The console ring never holds code 0 from input, but a test may put
  // one; asking first keeps "nothing waits" apart from a key 0.
  bool waiting = ConsoleKeyHit();
  *code = ConsoleTakeKey();
  return waiting;
}

}  // namespace

void PutKey(int32_t code) { PutKeyCode(keyQueue, code); }

std::string KeyCodeString(int32_t code) {
  if (code == 0) return std::string();
  if (code <= 255) return std::string(1, static_cast<char>(code & 0xFF));
  return std::string{static_cast<char>(0xFF), static_cast<char>((code >> 8) & 0xFF)};
}

std::string ReadKey() {
  int32_t code = 0;
  TryTakeKey(&code);
  return KeyCodeString(code);
}

bool KeyHit() {
  if (Screen() != nullptr) {
    ScreenLock();
    bool waiting = KeyWaiting(keyQueue);
    ScreenUnlock(1, 0);
    return waiting;
  }
  PollConsole();
  return ConsoleKeyHit();
}

int32_t WaitKey() {
  int32_t code = 0;
  // Each try looks at the screen afresh: one may open or close meanwhile.
  while (!TryTakeKey(&code)) {
    // Nothing can be typed into a closed console any more: the waiting
    // reader gets the close key again rather than waiting forever.
    if (Screen() == nullptr && ConsoleInputEnded()) return KEY_CLOSE;
    // The system's sleep: the clock sits above this layer (its Sleep
    // waits for keys from here).
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return code;
}

bool TakeKeyHitFlag() {
  if (Screen() != nullptr) {
    ScreenLock();
    bool hit = keyQueue.keyHit == 1;
    keyQueue.keyHit = 0;
    ScreenUnlock(1, 0);
    return hit;
  }
  PollConsole();
  return ConsoleTakeKeyHitFlag();
}

int32_t KeyDown(int32_t scancode) {
  if (scancode < 0 || scancode >= KEY_STATE_SIZE) return 0;
  ScreenContext* screen = Screen();
  if (screen == nullptr) return ConsoleKeyDown(scancode);
  if (screen->keyState == nullptr) return 0;
  ScreenLock();
  bool held = screen->keyState[scancode] != 0;
  ScreenUnlock(1, 0);
  return held ? -1 : 0;
}

void ResetKeyQueue() {
  ScreenLock();
  keyQueue = KeyRing<KEY_QUEUE_SLOTS>{};
  ScreenUnlock(1, 0);
}

}  // namespace fb
