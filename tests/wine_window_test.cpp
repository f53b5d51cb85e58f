// Each windowed driver as a user sees it: the driver probe
// (tests/probe/driver_probe.cpp) opens its window, natively for "X11" and
// under Wine for the Win32 drivers, and this test watches that window on
// the X server: its size and pixels, keys typed into it with xdotool, the
// window manager's close request, another window taking the focus.  The
// X11 run is the reference: every driver must give the same answers.
// Needs DISPLAY and xdotool; the Win32 runs need the Windows build
// (FB_WIN32_BUILD_DIR) and Wine.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#ifndef FB_NATIVE_PROBE
#error "FB_NATIVE_PROBE must name the native driver probe"
#endif

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous bounds on waits for Wine, the server and the window thread;
// not speed requirements.
constexpr auto DEADLINE = 20s;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = DEADLINE) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// The driver under test and how its probe runs.
struct DriverRun {
  std::string driver;
  std::vector<std::string> command;  // the probe, with its launcher
  int flags = 0;  // added to every screen the probe opens
  // The driver presents whole frames when the program flips, not the
  // dirty band of a window thread's tick.
  bool presentsOnFlip = false;
};

constexpr int SCREEN_OPENGL = 2;  // platform/screen.h

std::vector<DriverRun> Runs() {
  std::vector<DriverRun> runs{{"X11", {FB_NATIVE_PROBE}}};
#if defined(FB_WIN32_BUILD_DIR) && defined(FB_WINE_DRIVERS) && defined(FB_WINE_RUN)
  const std::vector<std::string> underWine{
      FB_WINE_RUN, std::string(FB_WIN32_BUILD_DIR) + "/tests/driver_probe.exe"};
  std::istringstream drivers(FB_WINE_DRIVERS);
  for (std::string name; std::getline(drivers, name, ',');)
    if (!name.empty()) runs.push_back({name, underWine});
  // The one driver for screens that ask for OpenGL, which no program of
  // the game's kind does: it runs here only.
  runs.push_back({"OpenGL", underWine, SCREEN_OPENGL, true});
#endif
  return runs;
}

std::string PrintRun(const ::testing::TestParamInfo<DriverRun>& info) { return info.param.driver; }
void PrintTo(const DriverRun& run, std::ostream* out) { *out << run.driver; }

// One running probe, spoken to through pipes.
class Probe {
 public:
  explicit Probe(const DriverRun& run) {
    signal(SIGPIPE, SIG_IGN);  // a probe that has ended makes writes fail, not kill
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);  // killed as a group: the launcher and what it starts
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[0]);
      close(in[1]);
      close(out[0]);
      close(out[1]);
      setenv("SCRDRIVER", run.driver.c_str(), 1);
      std::vector<char*> argv;
      for (const std::string& a : run.command) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toProbe_ = in[1];
    fromProbe_ = out[0];
  }
  ~Probe() {
    if (toProbe_ >= 0) close(toProbe_);
    if (pid_ > 0 && !exited_) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fromProbe_ >= 0) close(fromProbe_);
  }

  // Sends a command and returns its one-line answer ("" when none came).
  std::string Ask(const std::string& command) {
    const std::string line = command + "\n";
    if (write(toProbe_, line.data(), line.size()) != ssize_t(line.size())) return "";
    return ReadLine();
  }
  void Send(const std::string& command) {
    const std::string line = command + "\n";
    [[maybe_unused]] ssize_t n = write(toProbe_, line.data(), line.size());
  }
  bool Exited() const { return exited_; }

  // The exit status, or -1 if still running at the deadline.
  int WaitForExit() {
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; })) return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }

 private:
  std::string ReadLine() {
    const auto end = std::chrono::steady_clock::now() + DEADLINE;
    for (;;) {
      const size_t newline = buffer_.find('\n');
      if (newline != std::string::npos) {
        std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows' line ends
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd p{fromProbe_, POLLIN, 0};
      if (poll(&p, 1, int(left.count())) <= 0) return "";
      char chunk[512];
      const ssize_t n = read(fromProbe_, chunk, sizeof chunk);
      if (n <= 0) return "";
      buffer_.append(chunk, size_t(n));
    }
  }

  pid_t pid_ = -1;
  int toProbe_ = -1, fromProbe_ = -1;
  bool exited_ = false;
  std::string buffer_;
};

uint32_t Pattern(int x, int y) {  // as the probe draws it
  return uint32_t((x * 3) & 0xFF) << 16 | uint32_t((y * 5) & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
}

class DriverWindow : public ::testing::TestWithParam<DriverRun> {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY: the window test needs an X server";
    if (Shell("command -v xdotool") != 0) GTEST_SKIP() << "xdotool is not installed: it types the keys";
    for (const std::string& part : GetParam().command)
      ASSERT_TRUE(fs::exists(part)) << part << " is missing: build the Windows targets first";
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
    probe_ = std::make_unique<Probe>(GetParam());
  }
  void TearDown() override {
    if (probe_) {
      Shell("xdotool keyup w");
      if (!probe_->Exited()) {
        probe_->Send("quit");
        probe_->WaitForExit();
      }
      probe_.reset();
    }
    if (display_) XCloseDisplay(display_);
  }

  // Opens the probe's screen and finds its window on the server.
  void Open(int width, int height, int flags = 0) {
    const std::string answer =
        probe_->Ask("open " + std::to_string(width) + " " + std::to_string(height) + " 32 " +
                    std::to_string(flags | GetParam().flags));
    ASSERT_EQ(answer, "ok " + GetParam().driver);
    ASSERT_TRUE(WaitFor([&] { return (window_ = FindWindow()) != 0; })) << "no window named driver_probe";
  }

  // The viewable window named after the probe.
  Window FindWindow() {
    std::vector<Window> pending{DefaultRootWindow(display_)};
    while (!pending.empty()) {
      const Window w = pending.back();
      pending.pop_back();
      char* name = nullptr;
      if (XFetchName(display_, w, &name) && name) {
        const bool match = std::strcmp(name, "driver_probe") == 0;
        XFree(name);
        XWindowAttributes a;
        if (match && XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable) return w;
      }
      Window root, parent, *children = nullptr;
      unsigned count = 0;
      if (XQueryTree(display_, w, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) pending.push_back(children[i]);
        if (children) XFree(children);
      }
    }
    return 0;
  }

  std::pair<int, int> Size() {
    XWindowAttributes a{};
    XGetWindowAttributes(display_, window_, &a);
    return {a.width, a.height};
  }

  // The window's pixels as 0xRRGGBB.
  std::vector<uint32_t> Pixels(int width, int height) {
    std::vector<uint32_t> out;
    XImage* image =
        XGetImage(display_, window_, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return out;
    out.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        out[size_t(y) * size_t(width) + size_t(x)] = uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
    XDestroyImage(image);
    return out;
  }

  bool ShowsPattern(int width, int height) {
    return WaitFor([&] {
      const std::vector<uint32_t> seen = Pixels(width, height);
      if (seen.empty()) return false;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          if (seen[size_t(y) * size_t(width) + size_t(x)] != Pattern(x, y)) return false;
      return true;
    });
  }

  void Focus() {
    const std::string id = std::to_string(window_);
    Shell("xdotool windowactivate --sync " + id);
    Shell("xdotool windowfocus --sync " + id);
    std::this_thread::sleep_for(200ms);  // the focus reaches the program's window
    probe_->Ask("keys");
    probe_->Ask("events");
  }

  std::pair<long, long> Count() {
    long presents = -1, rows = -1;
    std::istringstream(probe_->Ask("count")) >> presents >> rows;
    return {presents, rows};
  }

  // Waits until the window thread has presented nothing for a while.
  void Settle() {
    auto before = Count();
    for (int quiet = 0, i = 0; quiet < 10 && i < 200; ++i) {
      std::this_thread::sleep_for(30ms);
      const auto now = Count();
      quiet = now == before ? quiet + 1 : 0;
      before = now;
    }
  }

  Display* display_ = nullptr;
  Window window_ = 0;
  std::unique_ptr<Probe> probe_;
};

TEST_P(DriverWindow, AppearsAtItsSizeShowingTheFramePixelForPixel) {
  Open(640, 480);
  EXPECT_EQ(Size(), std::make_pair(640, 480));
  ASSERT_EQ(probe_->Ask("pattern"), "ok");
  EXPECT_TRUE(ShowsPattern(640, 480));
}

TEST_P(DriverWindow, RowsTenAndSevenHundredGoInOneCopy) {
  if (GetParam().presentsOnFlip) GTEST_SKIP() << "presents whole frames on a flip, not dirty bands";
  Open(640, 768);
  ASSERT_EQ(probe_->Ask("pattern"), "ok");
  ASSERT_TRUE(ShowsPattern(640, 768));
  Settle();
  const auto before = Count();
  ASSERT_EQ(probe_->Ask("rows 10 700 " + std::to_string(0x20A040)), "ok");
  ASSERT_TRUE(WaitFor([&] { return Count().first > before.first; }));
  const auto after = Count();
  EXPECT_EQ(after.first - before.first, 1) << "one copy";
  EXPECT_EQ(after.second - before.second, 691) << "rows 10 to 700";
  EXPECT_TRUE(WaitFor([&] {
    const std::vector<uint32_t> seen = Pixels(640, 768);
    return !seen.empty() && seen[10 * 640 + 3] == 0x20A040 && seen[700 * 640 + 639] == 0x20A040 &&
           seen[11 * 640 + 3] == Pattern(3, 11) && seen[701 * 640] == Pattern(0, 701);
  }));
}

TEST_P(DriverWindow, HeldWIsKeyDown17UntilReleased) {
  Open(320, 200);
  Focus();
  ASSERT_EQ(Shell("xdotool keydown w"), 0);
  EXPECT_TRUE(WaitFor([&] { return probe_->Ask("keydown 17") == "-1"; }));
  EXPECT_EQ(probe_->Ask("keydown 30"), "0");
  ASSERT_EQ(Shell("xdotool keyup w"), 0);
  EXPECT_TRUE(WaitFor([&] { return probe_->Ask("keydown 17") == "0"; }));
}

TEST_P(DriverWindow, TypedKeysGiveTheSameCodesEverywhere) {
  Open(320, 200);
  Focus();
  struct Case {
    const char* keys;  // xdotool key names
    const char* read;  // ReadKey's bytes in hex, key after key
  };
  const Case cases[] = {
      {"a", "61"},        {"shift+b", "42"},      {"3", "33"},          {"Up", "ff48"},
      {"F1", "ff3b"},     {"shift+F1", "ff54"},   {"ctrl+Right", "ff74"}, {"Delete", "ff53"},
      {"Home", "ff47"},   {"F12", "ff86"},        {"Escape", "1b"},     {"Return", "0d"},
      {"BackSpace", "08"}, {"ctrl+d", "04"},      {"shift+Tab", "ff0f 09"}, {"F10", ""},
  };
  // Alt+F4 is left out: a window manager takes it and sends the close
  // request of CloseRequestIsTheCloseKeyAndTheWindowStays.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    ASSERT_EQ(Shell(std::string("xdotool key ") + c.keys), 0);
    std::string seen;
    // Keys that type nothing are checked by the marker typed after them.
    const bool nothing = std::strlen(c.read) == 0;
    if (nothing) {
      ASSERT_EQ(Shell("xdotool key x"), 0);
    }
    const std::string expected = nothing ? "78" : c.read;
    WaitFor([&] {
      const std::string keys = probe_->Ask("keys");
      seen += (seen.empty() || keys.empty() ? "" : " ") + keys;
      return seen.size() >= expected.size();
    }, 5s);
    std::this_thread::sleep_for(50ms);
    const std::string late = probe_->Ask("keys");
    if (!late.empty()) seen += " " + late;
    EXPECT_EQ(seen, expected);
  }
}

TEST_P(DriverWindow, CloseRequestIsTheCloseKeyAndTheWindowStays) {
  Open(320, 200);
  probe_->Ask("events");
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window_;
  e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window_, False, NoEventMask, &e);
  XSync(display_, False);
  std::string keys;
  EXPECT_TRUE(WaitFor([&] { return !(keys = probe_->Ask("keys")).empty(); }));
  EXPECT_EQ(keys, "ff6b");
  const std::string events = " " + probe_->Ask("events") + " ";
  EXPECT_NE(events.find(" 13 "), std::string::npos) << events;
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(FindWindow(), window_) << "the window is still there";
}

TEST_P(DriverWindow, FocusLossClearsHeldKeys) {
  Open(320, 200);
  Focus();
  ASSERT_EQ(Shell("xdotool keydown w"), 0);
  ASSERT_TRUE(WaitFor([&] { return probe_->Ask("keydown 17") == "-1"; }));
  // A window of another client takes the focus while w is still held.
  Window other = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 60, 60, 0, 0, 0);
  XStoreName(display_, other, "focus thief");
  XMapRaised(display_, other);
  XSync(display_, False);
  ASSERT_TRUE(WaitFor([&] {
    XWindowAttributes a;
    return XGetWindowAttributes(display_, other, &a) && a.map_state == IsViewable;
  }));
  Shell("xdotool windowactivate --sync " + std::to_string(other));
  XSetInputFocus(display_, other, RevertToParent, CurrentTime);
  XSync(display_, False);
  EXPECT_TRUE(WaitFor([&] { return probe_->Ask("keydown 17") == "0"; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(probe_->Ask("keydown 17"), "0") << "still held, but not in the program's window";
  const std::string events = " " + probe_->Ask("events") + " ";
  EXPECT_NE(events.find(" 12 "), std::string::npos) << events;
  Shell("xdotool keyup w");
  XDestroyWindow(display_, other);
  XSync(display_, False);
}

TEST_P(DriverWindow, EndingWithTheScreenLockedEndsTheWindowThread) {
  Open(320, 200);
  probe_->Send("exit-locked");
  EXPECT_EQ(probe_->WaitForExit(), 0);
  EXPECT_TRUE(WaitFor([&] { return FindWindow() == 0; }));
}

TEST_P(DriverWindow, AWindowThatCannotBeMadeFailsInitAndTheSearchGoesOn) {
  if (GetParam().driver == "X11") GTEST_SKIP() << "the X11 driver changes no display mode: nothing to refuse";
  // No display offers a 1000 x 777 mode, and this one seems to offer
  // nothing larger that "DirectX" could centre it in: the full-screen
  // window cannot be made, and the search's next passes open a window of
  // that size.
  ASSERT_EQ(probe_->Ask("only-mode 640 480"), "ok");
  Open(1000, 777, 1);
  EXPECT_EQ(Size(), std::make_pair(1000, 777));
  XWindowAttributes root{};
  XGetWindowAttributes(display_, DefaultRootWindow(display_), &root);
  EXPECT_LT(1000, root.width) << "the display itself kept its size";
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverWindow, ::testing::ValuesIn(Runs()), PrintRun);

}  // namespace
