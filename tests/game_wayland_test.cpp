// The built game in a native Wayland window (tests/game_window_play.h), on
// a headless sway of each test's own (tests/private_sway.h): wtype plays
// the player, grim takes the screenshots.  The game is started with
// WAYLAND_DISPLAY set and no SCRDRIVER, as in a Wayland session, and sway
// must see an xdg-shell window of its own, not an X11 one.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "game_window_play.h"
#include "private_sway.h"

namespace swaydesk {

class SwayDesk {
 public:
  ~SwayDesk() { ReleaseKeys(); }
  bool Ready(std::string* why) {
    if (!testsway::PrivateSway::Available()) *why = "sway, wtype or grim is missing";
    else if (!sway.Start()) *why = "sway did not start";
    sway.Use();
    unsetenv("DISPLAY");  // the Wayland window or none
    unsetenv("SCRDRIVER");
    setenv("FB_SCALE", "1", 1);
    return why->empty();
  }
  bool FindWindow(const std::string& name) {
    appId = name;
    if (sway.WindowRect(name).width == 0) return false;
    const std::string tree = sway.Message("-t get_tree");
    return tree.find("\"shell\": \"xdg_shell\"", tree.find("\"app_id\": \"" + name + "\"")) !=
           std::string::npos;
  }
  gameplay::Shot Screenshot() {
    const testsway::Shot s = sway.Screenshot(sway.WindowRect(appId));
    return {s.width, s.height, s.pixels};
  }
  // Keys stay down while the wtype that pressed them runs: letting them
  // go ends it, and the keyboard goes with it.
  void Keys(const std::string& action, const std::string& keys) {
    if (action == "keyup") {
      ReleaseKeys();
      return;
    }
    std::istringstream names(keys);
    std::string args;
    for (std::string key; names >> key;) args += " -P " + key;
    typists.push_back(sway.TypeInBackground(args + " -s 600000"));
    // Down once the call returns, as xdotool's are: past wtype's own
    // leading pause and the keyboard's arrival at the window.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  void ReleaseKeys() {
    for (pid_t typist : typists) {
      kill(typist, SIGTERM);
      waitpid(typist, nullptr, 0);
    }
    typists.clear();
  }

 private:
  testsway::PrivateSway sway;
  std::string appId;
  std::vector<pid_t> typists;
};

}  // namespace swaydesk

#define GAME_DESK swaydesk::SwayDesk
#include "game_window_cases.h"
