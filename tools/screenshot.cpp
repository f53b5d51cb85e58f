// The README's picture: the game played for a few seconds on the Null
// driver, with no display at all, and its last frame written as a binary
// PPM (tools/screenshot.sh turns it into the PNG).  The clock moves only
// when the game sleeps and the random generator starts from a fixed seed,
// so the same game and pictures give the same frame every time.
//
//   screenshot OUT.ppm [FRAMES]    run from the folder holding imgs/
//
// The player holds space throughout and sweeps up and down the left of
// the screen, so the frame shows bullets, aliens and explosions.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fb/clock/clock.h>
#include <fb/clock/random.h>
#include "game/game.h"
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>

namespace {

// About 23 s: an alien bursts right of the ship, others come in below.
constexpr long DEFAULT_FRAMES = 1388;
constexpr uint32_t SEED = 20240611;

// The clock: seconds, moved on by every sleep of the game.
double now = 1000.0;
const fb::ClockSource FRAME_CLOCK = {
    [](void*) { return now; },
    [](void*, int32_t ms) { now += ms / 1000.0; },
    nullptr,
};

void Hold(int32_t scancode, bool held) { fb::Screen()->keyState[scancode] = held ? 1 : 0; }

// The player's keys in a frame: a push to the right at the start, then
// three seconds down and three up, over and over, firing all the while.
void Play(long frame) {
  const long sweep = frame % 360;
  Hold(shooter::SCANCODE_SPACE, true);
  Hold(shooter::SCANCODE_D, frame < 40);
  Hold(shooter::SCANCODE_S, frame >= 40 && sweep < 180 && sweep % 3 == 0);
  Hold(shooter::SCANCODE_W, frame >= 40 && sweep >= 180 && sweep % 3 == 0);
}

bool WritePpm(const char* path, const fb::ScreenContext& screen) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", screen.width, screen.height);
  std::vector<uint8_t> row(size_t(screen.width) * 3);
  for (int y = 0; y < screen.height; ++y) {
    const auto* pixels =
        reinterpret_cast<const uint32_t*>(screen.framebuffer + size_t(y) * size_t(screen.pitch));
    for (int x = 0; x < screen.width; ++x) {
      row[size_t(x) * 3] = uint8_t(pixels[x] >> 16);
      row[size_t(x) * 3 + 1] = uint8_t(pixels[x] >> 8);
      row[size_t(x) * 3 + 2] = uint8_t(pixels[x]);
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: screenshot OUT.ppm [FRAMES]\n");
    return 2;
  }
  const long frames = argc > 2 ? std::atol(argv[2]) : DEFAULT_FRAMES;
  fb::SetClockSource(&FRAME_CLOCK);
  if (fb::SetScreenMode(1024, 768, 32, 0, fb::SCREEN_NULL, 0) != 0) {
    std::fprintf(stderr, "screenshot: no screen could be opened\n");
    return 1;
  }
  fb::SeedRandom(SEED, 0);
  // A start-up failure (a missing picture) waits for a key: one already
  // in the queue lets it end at once, with its message, instead.
  fb::ScreenLock();
  fb::PutKey(' ');
  fb::ScreenUnlock(1, 0);
  shooter::GameSession session{};
  shooter::CreateGame(session);
  fb::ReadKey();
  // The intro is left out: every frame draws the background whole.
  for (long frame = 0; frame < frames; ++frame) {
    Play(frame);
    shooter::RunFrameUpdate(session);
    shooter::RunFrameDraw(session);
    shooter::Wait(session.limiter);
  }
  const bool written = WritePpm(argv[1], *fb::Screen());
  if (!written) std::perror(argv[1]);
  shooter::ReleaseGame(session);
  return written ? 0 : 1;
}
