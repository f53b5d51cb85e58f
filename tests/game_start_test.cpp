// Start-up failures of the game on a windowless screen: every picture or
// pool the game can't have is reported with its own "[ERROR]" line on the
// screen, and every picture also on standard error with its reason; then
// the program waits for a key and ends with its own exit status, except
// for the warning sign and the explosions, which go on without.  Each
// start runs in a child process on the fake clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "game/game.h"
#include "game_support.h"
#include <fb/gfx/path.h>
#include <fb/gfx/text_state.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/runtime.h>

namespace {

// One nothrow array allocation of failSize bytes fails, after failSkip of
// them have been granted.  The game allocates its pools this way.
size_t failSize = 0;
int failSkip = 0;

}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (failSize != 0 && size == failSize && failSkip-- == 0) {
    failSize = 0;
    return nullptr;
  }
  try {
    return ::operator new[](size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

namespace {

// The text rows PrintText has written, each in brackets, blank ones left out.
std::string TextRows() {
  fb::TextState* s = fb::GetTextState();
  std::string rows;
  for (int row = 0; row < s->textRows; ++row) {
    std::string line;
    for (int column = 0; column < s->textColumns; ++column)
      line += char(s->PageCells(0)[row * s->textColumns + column].code);
    size_t end = line.find_last_not_of(std::string(" \0", 2));
    if (end != std::string::npos) rows += "[" + line.substr(0, end + 1) + "]";
  }
  return rows;
}

// A regular expression that matches text literally.
std::string Literally(const std::string& text) {
  std::string pattern;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern += '\\';
    pattern += c;
  }
  return pattern;
}

class GameStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Install();
    ASSERT_EQ(gametest::OpenGameScreen(), 0);
    gametest::WriteGamePictures();
    fb::ResetKeyQueue();
  }
  void TearDown() override { fb::CloseScreen(); }

  // Starts the game and tells on stderr what it shows while it waits for a
  // key, typed after 10 s; a start that returns runs one frame and exits 3.
  [[noreturn]] void Start() {
    clock.onSleep = [this] {
      if (clock.sleeps.size() != 200) return;
      std::fprintf(stderr, "waiting for a key under: %s\n", TextRows().c_str());
      gametest::TypeKey('x');
    };
    shooter::GameSession session{};
    shooter::CreateGame(session);
    shooter::RunFrameUpdate(session);
    shooter::RunFrameDraw(session);
    std::fprintf(stderr, "went on under: %s\n", TextRows().c_str());
    std::exit(3);
  }

  gametest::FakeClock clock;
  gametest::ScratchDir dir;
};

// exit(-1) as the parent sees it: Windows keeps the whole 32-bit value,
// POSIX only its low byte.
#ifdef _WIN32
constexpr int EXIT_MINUS_ONE = -1;
#else
constexpr int EXIT_MINUS_ONE = 255;
#endif

TEST_F(GameStartTest, EachFailureShowsItsMessageAndEndsWithItsStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto missing = [](const char* file) { return [file] { std::filesystem::remove(file); }; };
  auto damaged = [](const char* file, size_t offset, uint8_t value) {
    return [=] {
      std::vector<uint8_t> bytes = gametest::MakeBmp(25, 25, [](int, int) { return 0x808080u; });
      bytes[offset] = value;
      gametest::WriteFile(file, bytes);
    };
  };
  auto noPool = [](size_t bytes, int granted) {
    return [bytes, granted] {
      failSize = bytes;
      failSkip = granted;
    };
  };
  struct Case {
    const char* what;
    std::function<void()> fault;
    const char* message;
    const char* file;    // the picture named on standard error, with
    const char* reason;  // this reason; nullptr: nothing is printed there
    bool waits;          // for a key, then ends; else the game goes on
    int status;
  };
  const Case cases[] = {
      {"background", missing("imgs/Background.bmp"),
       "[ERROR] Zero pointer in: Background = LoadIMGFile(\"imgs\\Background.bmp\")",
       "imgs/Background.bmp", "no such file", true, EXIT_MINUS_ONE},
      {"ship", missing("imgs/Player.bmp"), "[ERROR] Can't load \"imgs\\Player.bmp\"",
       "imgs/Player.bmp", "no such file", true, EXIT_MINUS_ONE},
      {"ship not a bitmap", damaged("imgs/Player.bmp", 1, 'X'),
       "[ERROR] Can't load \"imgs\\Player.bmp\"", "imgs/Player.bmp", "not a bitmap file", true,
       EXIT_MINUS_ONE},
      {"reload picture", missing("imgs/reload.bmp"),
       "[ERROR] Zero pointer in: Constructor BulletSystem()", "imgs/reload.bmp", "no such file",
       true, EXIT_MINUS_ONE},
      {"bullet pool", noPool(sizeof(shooter::Bullet) * shooter::BULLET_POOL_SIZE, 0),
       "[ERROR] Zero pointer in: Constructor BulletSystem()", nullptr, nullptr, true,
       EXIT_MINUS_ONE},
      {"alien picture", missing("imgs/ene.bmp"), "[ERROR] Could not load enemy image.",
       "imgs/ene.bmp", "no such file", true, EXIT_MINUS_ONE},
      {"alien picture top-down", damaged("imgs/ene.bmp", 25, 0xFF),
       "[ERROR] Could not load enemy image.", "imgs/ene.bmp", "unusable picture size", true,
       EXIT_MINUS_ONE},
      {"alien pool", noPool(sizeof(shooter::Enemy) * shooter::ENEMY_POOL_SIZE, 0),
       "[ERROR] Zero pointer in: Constructor EnemySystem()", nullptr, nullptr, true,
       EXIT_MINUS_ONE},
      {"warning picture", missing("imgs/Crit.bmp"),
       "[ERROR] Zero pointer exception in: Constructor Critical", "imgs/Crit.bmp", "no such file",
       false, 3},
      // 7 bits per pixel: the image comes, all transparent, and play goes on.
      {"warning picture unreadable", damaged("imgs/Crit.bmp", 28, 7), nullptr, "imgs/Crit.bmp",
       "unsupported or damaged bitmap", false, 3},
      {"fourth particle pool", noPool(sizeof(shooter::Particle) * shooter::PARTICLES_PER_POOL, 3),
       "[ERROR] Zero pointer exception in Constructor ParticleSystem", nullptr, nullptr, false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto start = [&] {
      c.fault();
      Start();
    };
    std::string said;
    if (c.reason)
      said = fb::ProgramName() + ": cannot load " + fb::NativePath(c.file) + ": " + c.reason + "\n";
    std::string shown = c.message ? "[" + std::string(c.message) + "]" : "";
    EXPECT_EXIT(start(), testing::ExitedWithCode(c.status),
                "^" + Literally(said + (c.waits ? "waiting for a key under: " : "went on under: ") +
                                shown + "\n"));
  }
}

}  // namespace
