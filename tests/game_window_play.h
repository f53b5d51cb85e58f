// The built game played in a real window, whatever the window system:
// started in a scratch folder with a copy of the pictures, driven as a
// player would, watched through screenshots.  A test file supplies the
// desk, the window system's side (find the window, take a screenshot, hold
// and release keys, named as X11 names them: "d", "space", "Escape"),
// defines GAME_DESK as its type and includes game_window_cases.h, which
// defines the test cases.  Deadlines are generous polls, never timing
// assertions.
#pragma once
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "game_support.h"

#ifndef FB_SHOOTER_PATH
#error "FB_SHOOTER_PATH must name the built game"
#endif
#ifndef FB_RUN_DIR
#error "FB_RUN_DIR must name the folder holding imgs/"
#endif

namespace gameplay {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t INTRO_GREEN = 0x00AA00;
constexpr uint32_t WHITE = 0xFFFFFF;
constexpr uint32_t BLACK = 0x000000;
constexpr uint32_t GAUGE_BLUE = 0x0000FF;

inline bool Poll(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 15s) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return condition();
}

// The pixels of a window as 0xRRGGBB.
struct Shot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  int Count(int x1, int y1, int x2, int y2, const std::function<bool(uint32_t)>& match) const {
    int n = 0;
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x) n += match(At(x, y));
    return n;
  }
  int Count(int x1, int y1, int x2, int y2, uint32_t colour) const {
    return Count(x1, y1, x2, y2, [colour](uint32_t c) { return c == colour; });
  }
};

// One running game on a desk.
template <typename Desk>
class GameProcess {
 public:
  GameProcess(Desk& desk, const std::function<void()>& preparePictures) : desk(desk) {
    for (const auto& entry : fs::directory_iterator(fs::path(FB_RUN_DIR) / "imgs"))
      if (entry.path().extension() == ".bmp") pictures.push_back(entry.path().filename());
    fs::create_directory(dir.path / "imgs");
    for (const fs::path& name : pictures)
      fs::copy_file(fs::path(FB_RUN_DIR) / "imgs" / name, dir.path / "imgs" / name);
    preparePictures();
    pid = fork();
    if (pid == 0) {
      setpgid(0, 0);  // killed as a group: a launcher and what it starts
      if (chdir(dir.path.c_str()) != 0) _exit(120);
#ifdef FB_SHOOTER_LAUNCHER
      execl(FB_SHOOTER_LAUNCHER, FB_SHOOTER_LAUNCHER, FB_SHOOTER_PATH, static_cast<char*>(nullptr));
#else
      execl(FB_SHOOTER_PATH, "shooter", static_cast<char*>(nullptr));
#endif
      _exit(121);
    }
  }
  ~GameProcess() {
    desk.ReleaseKeys();
    if (pid > 0 && !exited) {
      kill(-pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  // The game's window, found by its name.
  bool FindWindow() { return Poll([this] { return desk.FindWindow("shooter"); }); }

  // Polls screenshots until condition holds for one of them.
  bool WaitForScreen(const std::function<bool(const Shot&)>& condition, Shot* last = nullptr) {
    Shot shot;
    bool ok = Poll([&] {
      shot = desk.Screenshot();
      return shot.width >= 1024 && shot.height >= 768 && condition(shot);
    });
    if (last) *last = shot;
    return ok;
  }

  // Holds keys down, or lets them go, e.g. Keys("keydown", "d space").
  void Keys(const std::string& action, const std::string& keys) { desk.Keys(action, keys); }
  // Presses a key long enough for the window thread's keyboard sampling.
  void Tap(const std::string& key) {
    Keys("keydown", key);
    std::this_thread::sleep_for(150ms);
    Keys("keyup", key);
  }

  // The exit status, or -1 while still running at the deadline.
  int WaitForExit(std::chrono::milliseconds deadline = 15s) {
    int status = 0;
    bool done = Poll([&] { return waitpid(pid, &status, WNOHANG) == pid; }, deadline);
    if (!done) return -1;
    exited = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }

  Desk& desk;
  gametest::ScratchDir dir;
  std::vector<fs::path> pictures;
  pid_t pid = -1;
  bool exited = false;
};

inline bool IntroTyping(const Shot& s) { return s.Count(250, 256, 257, 263, INTRO_GREEN) > 5; }

// The first text row holds the message, white on black; the rows below it
// are untouched black.
inline bool ErrorLineShown(const Shot& s, int textColumns) {
  int white = s.Count(0, 0, textColumns * 8 - 1, 7, WHITE);
  int other = s.Count(0, 0, textColumns * 8 - 1, 7, [](uint32_t c) { return c != WHITE && c != BLACK; });
  return white > textColumns * 8 && other == 0 && s.Count(0, 8, 1023, 39, BLACK) == 1024 * 32;
}

}  // namespace gameplay
