// The Windows game as Windows starts it, run under Wine: a program of the
// GUI subsystem (the field of its PE header), which opens no console
// window when started from the desktop ("wine start"), and which still
// writes why it failed to the standard error it was given; and that
// output is the program's alone, whatever Wine starts beside it.  Needs
// the Windows build (FB_WIN32_BUILD_DIR) and Wine; the windows need
// DISPLAY, the desktop start xdotool too.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "forked_process.h"

namespace {

using namespace std::chrono_literals;

// The Windows build, and the command that runs its programs under Wine.
#if defined(FB_WIN32_BUILD_DIR) && defined(FB_WINE_RUN)
const std::string BUILD = FB_WIN32_BUILD_DIR, WINE_RUN = FB_WINE_RUN;
#else
const std::string BUILD, WINE_RUN;
#endif
const std::string SHOOTER = BUILD + "/game/shooter.exe";

class WineShooter : public ::testing::Test {
 protected:
  void SetUp() override {
    if (BUILD.empty()) GTEST_SKIP() << "no Windows build (FB_WIN32_BUILD_DIR) to run";
  }
};

// The Subsystem field of a PE file's optional header (2 GUI, 3 console),
// or -1 when the file is no PE file.
int Subsystem(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
  auto le = [&](size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + size_t(i)];
    return v;
  };
  if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return -1;
  const size_t pe = le(0x3C, 4), optional = pe + 24;  // after "PE\0\0" and the file header
  if (b.size() < optional + 70 || le(pe, 4) != 0x4550) return -1;
  const uint32_t magic = le(optional, 2);  // PE32 or PE32+: the field sits at 68 in both
  return magic == 0x10B || magic == 0x20B ? int(le(optional + 68, 2)) : -1;
}

TEST_F(WineShooter, OnlyTheGameIsAProgramOfTheGuiSubsystem) {
  struct Case {
    std::string program;
    int subsystem;
  } cases[] = {
      {"game/shooter.exe", 2},
      // The library's other programs keep their console.
      {"examples/shapes.exe", 3},
      {"tests/driver_probe.exe", 3},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Subsystem(BUILD + "/" + c.program), c.subsystem) << c.program;
}

TEST_F(WineShooter, WithoutAScreenItSaysWhyOnTheStandardErrorItWasGiven) {
  // A Wine session begun without a display would keep a desktop without
  // one for the programs after this one: begun here with it, if there is
  // one, the session outlives the game.
  testprocess::RunQuietly({WINE_RUN, "wineboot"});
  // Without a display Wine has no window to give any driver.
  testprocess::ForkedProcess game([](int) {
    unsetenv("DISPLAY");
    execl(WINE_RUN.c_str(), WINE_RUN.c_str(), SHOOTER.c_str(), static_cast<char*>(nullptr));
    return 121;
  });
  ASSERT_TRUE(game.Wait(60s)) << "the game went on without a screen";
  EXPECT_TRUE(game.ExitedWith(1)) << game.Describe();
  EXPECT_EQ(game.StandardError(),
            "shooter: no screen could be opened: no display driver could start\r\n");
}

// The processes other than this one that have target (a readlink of a
// descriptor: "pipe:[1234]") open, by their command lines.
std::vector<std::string> Holders(const std::string& target) {
  std::vector<std::string> holders;
  DIR* processes = opendir("/proc");
  while (dirent* p = processes ? readdir(processes) : nullptr) {
    const std::string pid = p->d_name;
    const bool process = pid.find_first_not_of("0123456789") == std::string::npos;
    if (!process || pid == std::to_string(getpid())) continue;
    DIR* fds = opendir(("/proc/" + pid + "/fd").c_str());
    bool holds = false;
    while (dirent* fd = fds && !holds ? readdir(fds) : nullptr) {
      char link[64] = {};
      readlink(("/proc/" + pid + "/fd/" + fd->d_name).c_str(), link, sizeof link - 1);
      holds = target == link;
    }
    if (fds) closedir(fds);
    if (!holds) continue;
    std::ifstream cmdline("/proc/" + pid + "/cmdline");
    std::string command;
    std::getline(cmdline, command, '\0');
    holders.push_back(command);
  }
  if (processes) closedir(processes);
  return holders;
}

TEST_F(WineShooter, WinesOwnProcessesKeepNoneOfAProgramsOutput) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY: the example needs a window";
  // Once the running session has ended, the example begins a new one.
  testprocess::RunQuietly({"timeout", "60", WINE_RUN, "wineserver", "-w"});
  const std::string shapes = BUILD + "/examples/shapes.exe";
  testprocess::ForkedProcess program([&](int report) {
    char output[64] = {};
    if (readlink("/proc/self/fd/2", output, sizeof output - 1) < 0) return 120;
    if (write(report, output, sizeof output) != ssize_t(sizeof output)) return 120;
    execl(WINE_RUN.c_str(), WINE_RUN.c_str(), shapes.c_str(), "1", static_cast<char*>(nullptr));
    return 121;
  });
  char output[64] = {};
  ASSERT_TRUE(program.Receive(output, sizeof output, 10s));
  ASSERT_TRUE(program.Wait(60s));
  EXPECT_TRUE(program.ExitedWith(0)) << program.Describe() << ": " << program.StandardError();
  const std::vector<std::string> holders = Holders(output);
  std::string names;
  for (const std::string& h : holders) names += " " + h;
  EXPECT_TRUE(holders.empty()) << "the example's standard error is still open in" << names;
}

int Xdotool(std::vector<std::string> args) {
  args.insert(args.begin(), "xdotool");
  return testprocess::RunQuietly(std::move(args));
}

TEST_F(WineShooter, StartedFromTheDesktopItOpensNoConsoleWindow) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY: Wine has no display to make windows on";
  if (Xdotool({"version"}) != 0) GTEST_SKIP() << "xdotool is not installed: it finds the windows";
  // The game as tools/build-windows.sh leaves it, beside its pictures:
  // start.exe starts it as Explorer does, in its own folder.  Both run in
  // a process group of their own.
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/fb-shooter.XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::string exe = folder + "/shooter.exe";
  std::filesystem::copy_file(SHOOTER, exe);
  std::filesystem::create_directory_symlink(BUILD + "/run/imgs", folder + "/imgs");
  testprocess::ForkedProcess game([&](int) {
    setpgid(0, 0);
    execl(WINE_RUN.c_str(), WINE_RUN.c_str(), "start", "/wait", "/unix", exe.c_str(),
          static_cast<char*>(nullptr));
    return 121;
  });
  const std::vector<std::string> gameWindow = {"search", "--onlyvisible", "--name", "^shooter$"};
  // A console would be made with the process, before the game's window:
  // watched until a while after that window shows.
  bool console = false;
  int watchedSinceShown = 0;
  for (int i = 0; i < 400 && watchedSinceShown < 20; ++i) {
    std::this_thread::sleep_for(50ms);
    console = console || Xdotool({"search", "--class", "conhost"}) == 0;
    if (watchedSinceShown > 0 || Xdotool(gameWindow) == 0) ++watchedSinceShown;
  }
  const bool shown = watchedSinceShown > 0;
  EXPECT_TRUE(shown) << "the game's window never showed";
  EXPECT_FALSE(console) << "a console window opened beside the game";
  // Escape ends the intro and the game.
  std::vector<std::string> escape = gameWindow;
  escape.insert(escape.end(), {"windowfocus", "--sync", "keydown", "Escape"});
  Xdotool(escape);
  const bool ended = game.Wait(30s);
  Xdotool({"keyup", "Escape"});
  if (!ended) kill(-game.Pid(), SIGKILL);
  EXPECT_TRUE(ended && game.ExitedWith(0)) << game.Describe() << ": " << game.StandardError();
  std::filesystem::remove_all(folder);
}

}  // namespace
