// The program's entry: opens the 1024 x 768 x 32 screen and runs frames
// until Escape is held.
#include "clock/clock.h"
#include "platform/keyboard.h"
#include "platform/screen.h"

int main() {
  fb::SetScreenMode(1024, 768, 32, 0, 0, 0);
  while (!fb::KeyDown(1)) {
    fb::ScreenLock();
    fb::ScreenUnlock(-1, -1);
    fb::Sleep(16, 1);
  }
  return 0;
}
