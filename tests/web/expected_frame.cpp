// What the game's web page must show, drawn here natively: the game runs
// as its main does, on the Null driver and a clock of this program's own,
// until it waits for a key with nothing more to type (the intro's
// briefing typed in full, or a start-up error's message); that frame is
// written as a binary PPM.
//   web_expected_frame OUT.ppm     (run in the folder that holds imgs/)
// page_test.js compares the page's canvas with it, pixel for pixel.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <fb/clock/clock.h>
#include <fb/clock/random.h>
#include <fb/platform/screen.h>
#include "game/game.h"
#include "game/typewriter.h"

namespace {

// Past this the intro has long typed its 123 characters (one every 0.1 s).
constexpr double SETTLED_SECONDS = 20;

double now = 1;  // seconds on this program's clock
const char* outPath = nullptr;

void WriteFrame() {
  const fb::ScreenContext* s = fb::Screen();
  std::FILE* f = s && s->depth == 32 ? std::fopen(outPath, "wb") : nullptr;
  if (!f) {
    std::perror(outPath);
    std::_Exit(2);
  }
  std::fprintf(f, "P6\n%d %d\n255\n", s->width, s->height);
  const auto* pixels = reinterpret_cast<const uint32_t*>(s->framebuffer);
  for (int32_t i = 0; i < s->width * s->height; ++i) {
    const unsigned char rgb[3] = {uint8_t(pixels[i] >> 16), uint8_t(pixels[i] >> 8),
                                  uint8_t(pixels[i])};
    std::fwrite(rgb, 1, 3, f);
  }
  std::_Exit(std::fclose(f) == 0 ? 0 : 2);
}

double Now(void*) { return now; }

// Time passes only when the game sleeps; no key ever comes, so the game
// ends up waiting for one, and the frame then on screen is the one wanted.
void SleepFor(void*, int32_t ms) {
  now += std::max(ms, 1) / 1000.0;
  if (now > SETTLED_SECONDS) WriteFrame();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: web_expected_frame OUT.ppm\n");
    return 2;
  }
  outPath = argv[1];
  setenv("SCRDRIVER", "null", 1);
  const fb::ClockSource clock{Now, SleepFor, nullptr};
  fb::SetClockSource(&clock);
  // The game's main from here on.
  if (fb::SetScreenMode(1024, 768, 32, 0, 0, 0) != 0) return 2;
  fb::SeedRandom(fb::TimerSeconds(), 0);
  shooter::GameSession session{};
  shooter::CreateGame(session);
  shooter::ShowIntro(session.background);
  std::fprintf(stderr, "web_expected_frame: the intro ended without a key\n");
  return 2;
}
