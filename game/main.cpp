// The program's entry: opens the screen, seeds the generator, builds the
// game, shows the intro and runs frames until Escape is held.  Reads no
// arguments; SCRDRIVER may choose the display driver.
#include <fb/clock/clock.h>
#include <fb/clock/random.h>
#include "game/game.h"
#include "game/typewriter.h"
#include <fb/platform/screen.h>

int main() {
  // The result is not needed: without a screen the first sprite load fails
  // and its constructor reports that.
  fb::SetScreenMode(1024, 768, 32, 0, 0, 0);
  fb::SeedRandom(fb::TimerSeconds(), 0);
  shooter::GameSession session{};
  shooter::CreateGame(session);
  shooter::ShowIntro(session.background);
  shooter::RunFrames(session);
  return 0;
}
