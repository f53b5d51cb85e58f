// The program's entry: opens the screen, seeds the generator, builds the
// game, shows the intro and runs frames until Escape is held.  Reads no
// arguments; SCRDRIVER may choose the display driver.
#include <cstdio>
#include <string>

#include <fb/clock/clock.h>
#include <fb/clock/random.h>
#include "game/game.h"
#include "game/typewriter.h"
#include <fb/platform/driver.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>

int main() {
  const int opened = fb::SetScreenMode(1024, 768, 32, 0, 0, 0);
  // Settings that could not be taken as given (FB_SCALE, SCRDRIVER): one
  // line each, and the game goes on with what was chosen instead.
  for (const std::string& note : fb::SettingNotes())
    std::fprintf(stderr, "%s: %s\n", fb::ProgramName().c_str(), note.c_str());
  // Without a screen nothing can be shown, not even the "[ERROR]" lines of
  // the start-up: say why on standard error (in a message box where there
  // is none, as for the Windows game started from the desktop) and fail.
  if (opened != 0) {
    const std::string& why = fb::DisplayFailure();
    fb::ReportFailure(fb::ProgramName() + ": no screen could be opened: " +
                      (why.empty() ? "no display driver could start" : why));
    return 1;
  }
  fb::SeedRandom(fb::TimerSeconds(), 0);
  shooter::GameSession session{};
  shooter::CreateGame(session);
  shooter::ShowIntro(session.background);
  shooter::RunFrames(session);
  return 0;
}
