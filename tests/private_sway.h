// A Wayland compositor of the test's own: a headless sway started for one
// test, which the test may kill (to take the display away from a running
// program), and the tools that play the user there: wtype types keys,
// grim takes screenshots, swaymsg asks for the window tree and gives
// orders.  sway refuses to run as root, so as root it runs as the user
// nobody (65534), in a runtime folder of its own owned by that user; the
// test, as root, still reaches its socket.
//
// Keys typed at once are lost: the seat has a keyboard only while a
// wtype runs, and a window hears it only once the keyboard has arrived,
// so every wtype here starts with a pause (Type).
#pragma once
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "forked_process.h"

namespace testsway {

// The user sway runs as when the test runs as root.
constexpr uid_t NOBODY = 65534;

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// A screenshot: 0xRRGGBB per pixel, rows top down.
struct Shot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

class PrivateSway {
 public:
  PrivateSway() = default;
  PrivateSway(const PrivateSway&) = delete;
  PrivateSway& operator=(const PrivateSway&) = delete;
  ~PrivateSway() {
    Kill();
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  // Whether sway and the tools are installed.
  static bool Available() {
    return std::system("{ command -v sway && command -v wtype && command -v grim && "
                       "command -v swaymsg; } >/dev/null 2>&1") == 0;
  }

  // Starts sway with one headless output of the given size and scale
  // factor; windows get no borders of sway's own (a title bar would move
  // the picture in the screenshots).  false when sway did not offer its
  // socket within 10 s.
  bool Start(int width = 1280, int height = 1024, int scale = 1) {
    char folder[] = "/tmp/fb-sway.XXXXXX";
    if (!mkdtemp(folder)) return false;
    folder_ = folder;
    runtime_ = folder_ + "/runtime";
    const std::string config = folder_ + "/config";
    std::ofstream(config) << "output HEADLESS-1 resolution " << width << "x" << height
                          << " scale " << scale << "\n"
                          << "xwayland disable\n"
                          << "default_border none\n"
                          << "default_floating_border none\n"
                          << "focus_on_window_activation focus\n";
    mkdir(runtime_.c_str(), 0700);
    const bool root = geteuid() == 0;
    if (root && (chown(runtime_.c_str(), NOBODY, NOBODY) != 0 || chmod(folder_.c_str(), 0755) != 0 ||
                 chmod(config.c_str(), 0644) != 0))
      return false;
    std::vector<std::string> args;
    if (root)
      // A test that dies leaves no compositor behind.
      args = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--pdeathsig", "KILL",
              "sway", "-c", config};
    else
      args = {"sway", "-c", config};
    const std::vector<std::string> env = {
        "PATH=/usr/local/bin:/usr/bin:/bin", "XDG_RUNTIME_DIR=" + runtime_,
        "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman",
        "HOME=" + folder_};
    pid_ = testprocess::SpawnQuietly(args, env);
    if (pid_ < 0) return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      FindSockets();
      if (!display_.empty() && !ipc_.empty() && Message("-t get_version").find("sway") != std::string::npos)
        return true;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Ends sway at once, as a crash would.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // WAYLAND_DISPLAY (the socket's name) and XDG_RUNTIME_DIR.
  const std::string& Display() const { return display_; }
  const std::string& RuntimeFolder() const { return runtime_; }

  // Points this process's WAYLAND_DISPLAY and XDG_RUNTIME_DIR here.
  void Use() const {
    setenv("WAYLAND_DISPLAY", display_.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }

  // swaymsg with the given arguments (one shell word list); its output.
  std::string Message(const std::string& args) const {
    return Read("swaymsg -s '" + ipc_ + "' " + args);
  }

  // Runs wtype with the given arguments after a pause of its own, so that
  // the window has the keyboard before the first key; waits for it.
  bool Type(const std::string& args) const {
    return std::system((Env() + "wtype -s 150 " + args + " >/dev/null 2>&1").c_str()) == 0;
  }
  // The same, without waiting: for keys held while the test looks.
  pid_t TypeInBackground(const std::string& args) const {
    return testprocess::SpawnQuietly({"sh", "-c", Env() + "exec wtype -s 150 " + args});
  }

  // The window whose app_id is given, in layout coordinates (zero size
  // when there is none).
  Rect WindowRect(const std::string& appId) const {
    const std::string tree = Message("-t get_tree");
    const size_t at = tree.find("\"app_id\": \"" + appId + "\"");
    Rect r;
    if (at == std::string::npos) return r;
    const size_t rect = tree.rfind("\"rect\": {", at);
    if (rect == std::string::npos) return r;
    auto field = [&](const char* name) {
      const size_t f = tree.find(std::string("\"") + name + "\": ", rect);
      return f == std::string::npos ? 0 : std::atoi(tree.c_str() + f + std::strlen(name) + 4);
    };
    return {field("x"), field("y"), field("width"), field("height")};
  }

  // The pixels of an area of the layout, in output pixels (an area of
  // w x h on an output of scale 2 gives 2w x 2h).
  Shot Screenshot(const Rect& area) const {
    Shot shot;
    const std::string ppm =
        Read(Env() + "grim -t ppm -g '" + std::to_string(area.x) + "," + std::to_string(area.y) +
             " " + std::to_string(area.width) + "x" + std::to_string(area.height) + "' - 2>/dev/null");
    int width = 0, height = 0, maximum = 0, used = 0;
    if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &width, &height, &maximum, &used) != 3 ||
        maximum != 255)
      return shot;
    const size_t start = size_t(used) + 1;  // one blank after the header
    if (ppm.size() < start + size_t(width) * size_t(height) * 3) return shot;
    shot.width = width;
    shot.height = height;
    shot.pixels.resize(size_t(width) * size_t(height));
    const auto* p = reinterpret_cast<const unsigned char*>(ppm.data() + start);
    for (size_t i = 0; i < shot.pixels.size(); ++i, p += 3)
      shot.pixels[i] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    return shot;
  }

 private:
  std::string Env() const {
    return "WAYLAND_DISPLAY='" + display_ + "' XDG_RUNTIME_DIR='" + runtime_ + "' ";
  }
  static std::string Read(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
      char buffer[65536];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
      pclose(p);
    }
    return out;
  }

  // sway names its sockets itself: wayland-N and sway-ipc.*.sock.
  void FindSockets() {
    DIR* dir = opendir(runtime_.c_str());
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) display_ = name;
      if (name.rfind("sway-ipc.", 0) == 0) ipc_ = runtime_ + "/" + name;
    }
    closedir(dir);
  }

  pid_t pid_ = -1;
  std::string folder_, runtime_, display_, ipc_;
};

}  // namespace testsway
