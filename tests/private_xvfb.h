// An X server of the test's own: an Xvfb started for one test, which the
// test may kill (to take the display away from a running program) or
// start with a screen larger than the shared one.  Xvfb picks a free
// display number itself and says which one when it is ready.
#pragma once
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "forked_process.h"

namespace testxvfb {

class PrivateXvfb {
 public:
  PrivateXvfb() = default;
  PrivateXvfb(const PrivateXvfb&) = delete;
  PrivateXvfb& operator=(const PrivateXvfb&) = delete;
  ~PrivateXvfb() { Kill(); }

  // Starts Xvfb with one screen of the given geometry ("2304x1792x24"),
  // with or without the MIT-SHM extension.  false when Xvfb is missing or
  // did not become ready within 10 s.
  bool Start(const std::string& geometry, bool shm = true) {
    int ready[2];
    if (pipe(ready) != 0) return false;
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(ready[1]),
                                     "-screen", "0", geometry, "-nolisten", "tcp", "-noreset"};
    if (!shm) args.insert(args.end(), {"-extension", "MIT-SHM"});
    pid_ = testprocess::SpawnQuietly(args);
    close(ready[1]);
    if (pid_ < 0) {
      close(ready[0]);
      return false;
    }
    std::string number;
    pollfd p{ready[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 10000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (number.empty() || c != '\n') {
      Kill();
      return false;
    }
    display_ = ":" + number;
    return true;
  }

  // Ends the server at once, as a crash or a dropped connection would.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  const std::string& Display() const { return display_; }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// The two ways a running program loses its window, for tests that try
// each with and without MIT-SHM.
enum class Loss { ServerKilled, WindowDestroyed };

struct LossCase {
  Loss loss;
  bool shm;  // whether the server offers MIT-SHM
};

inline const LossCase LOSS_CASES[] = {
    {Loss::ServerKilled, true},
    {Loss::ServerKilled, false},
    {Loss::WindowDestroyed, true},
    {Loss::WindowDestroyed, false},
};

inline std::string LossCaseName(const LossCase& c) {
  return std::string(c.loss == Loss::ServerKilled ? "ServerKilled" : "WindowDestroyed") +
         (c.shm ? "Shm" : "PutImage");
}

// Sets DISPLAY for the life of the object and puts the old value back.
class DisplayVariable {
 public:
  explicit DisplayVariable(const std::string& value) {
    const char* old = std::getenv("DISPLAY");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("DISPLAY", value.c_str(), 1);
  }
  ~DisplayVariable() {
    if (had_)
      setenv("DISPLAY", old_.c_str(), 1);
    else
      unsetenv("DISPLAY");
  }
  DisplayVariable(const DisplayVariable&) = delete;
  DisplayVariable& operator=(const DisplayVariable&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

}  // namespace testxvfb
