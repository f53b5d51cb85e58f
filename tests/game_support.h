// Helpers shared by the game's tests: a clock under the test's control, a
// windowless screen, bitmap files written on the spot and a scratch folder
// holding the game's five pictures.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fb/clock/clock.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>

namespace gametest {

// A clock that stands still until the test moves it; every plain sleep is
// recorded and moves it on by its length, then calls onSleep (if set), which
// lets a test act while the code under test waits, for instance type a key.
struct FakeClock {
  double now = 100.0;
  std::vector<int32_t> sleeps;
  std::function<void()> onSleep;

  void Install() {
    static const auto nowFn = [](void* user) { return static_cast<FakeClock*>(user)->now; };
    static const auto sleepFn = [](void* user, int32_t ms) {
      auto* clock = static_cast<FakeClock*>(user);
      clock->sleeps.push_back(ms);
      clock->now += ms / 1000.0;
      if (clock->onSleep) clock->onSleep();
    };
    source = fb::ClockSource{nowFn, sleepFn, this};
    fb::SetClockSource(&source);
  }
  ~FakeClock() { fb::SetClockSource(nullptr); }

  fb::ClockSource source{};
};

// Opens a 1024 x 768 x 32 screen on the Null driver.
inline int OpenGameScreen() { return fb::SetScreenMode(1024, 768, 32, 0, fb::SCREEN_NULL, 0); }

// Puts a key into the queue as the window thread does, under the lock.
inline void TypeKey(int32_t code) {
  fb::ScreenLock();
  fb::PutKey(code);
  fb::ScreenUnlock(1, 0);
}

inline uint32_t ScreenPixel(int x, int y) {
  const fb::ScreenContext* s = fb::Screen();
  return reinterpret_cast<const uint32_t*>(s->framebuffer + size_t(y) * size_t(s->pitch))[x];
}

inline void PutLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A 24-bit bottom-up Windows bitmap of width x height, each pixel from
// colour(x, y) as 0xRRGGBB.
inline std::vector<uint8_t> MakeBmp(int32_t width, int32_t height,
                                    const std::function<uint32_t(int, int)>& colour) {
  uint32_t rowBytes = (uint32_t(width) * 3 + 3) & ~3u;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  PutLE(out, 54 + rowBytes * uint32_t(height), 4);
  PutLE(out, 0, 4);
  PutLE(out, 54, 4);
  PutLE(out, 40, 4);
  PutLE(out, uint32_t(width), 4);
  PutLE(out, uint32_t(height), 4);
  PutLE(out, 1, 2);
  PutLE(out, 24, 2);
  PutLE(out, 0, 4);
  PutLE(out, rowBytes * uint32_t(height), 4);
  PutLE(out, 2835, 4);
  PutLE(out, 2835, 4);
  PutLE(out, 0, 4);
  PutLE(out, 0, 4);
  for (int y = height - 1; y >= 0; --y) {
    size_t start = out.size();
    for (int x = 0; x < width; ++x) PutLE(out, colour(x, y), 3);
    while (out.size() - start < rowBytes) out.push_back(0);
  }
  return out;
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A fresh folder made the working directory for the object's life.
struct ScratchDir {
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::path path;

  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "fb_game_XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path = pattern;
    std::filesystem::current_path(path);
  }
  ~ScratchDir() {
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

// Colours of the test pictures, each a solid block (magenta is left out).
constexpr uint32_t TEST_BACKGROUND = 0x102030;
constexpr uint32_t TEST_SHIP = 0x00C0C0;
constexpr uint32_t TEST_RELOAD = 0xC0C000;
constexpr uint32_t TEST_ALIEN = 0x30C030;
constexpr uint32_t TEST_CRIT = 0xFFD000;

// Writes the five pictures of the game into imgs/ of the working directory.
inline void WriteGamePictures() {
  std::filesystem::create_directory("imgs");
  auto solid = [](uint32_t c) { return [c](int, int) { return c; }; };
  WriteFile("imgs/Background.bmp", MakeBmp(1024, 768, solid(TEST_BACKGROUND)));
  WriteFile("imgs/Player.bmp", MakeBmp(50, 35, solid(TEST_SHIP)));
  WriteFile("imgs/reload.bmp", MakeBmp(200, 100, solid(TEST_RELOAD)));
  WriteFile("imgs/ene.bmp", MakeBmp(25, 25, solid(TEST_ALIEN)));
  WriteFile("imgs/Crit.bmp", MakeBmp(40, 40, solid(TEST_CRIT)));
}

}  // namespace gametest
