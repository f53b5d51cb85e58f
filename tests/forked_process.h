// A piece of a test run in a forked copy of the test process, for
// behaviour that ends a process: its exit status and its standard error
// are caught, and it can send the test a few bytes when it is ready.
// Fork only while the test runs no other thread.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testprocess {

// Starts a program from PATH with its output discarded, in this
// process's environment or the one given (NAME=value each); its process
// id, or -1 when it could not start.  Descriptors without close-on-exec
// are inherited.
inline pid_t SpawnQuietly(std::vector<std::string> args,
                          std::vector<std::string> environment = {}) {
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                                   environment.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

// Runs a program from PATH to its end; its exit status, or -1 when it
// could not run.
inline int RunQuietly(std::vector<std::string> args) {
  const pid_t pid = SpawnQuietly(std::move(args));
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ForkedProcess {
 public:
  // Runs body in the child, which ends with _exit(body's result) unless
  // body ends the process itself (exit, exec).  report is the child's end
  // of the channel that Receive reads.
  explicit ForkedProcess(const std::function<int(int report)>& body) {
    int err[2], report[2];
    if (pipe(err) != 0) return;
    if (pipe(report) != 0) {
      close(err[0]);
      close(err[1]);
      return;
    }
    std::fflush(nullptr);  // nothing buffered may be written twice
    pid_ = fork();
    if (pid_ == 0) {
      close(err[0]);
      close(report[0]);
      dup2(err[1], 2);
      close(err[1]);
      _exit(body(report[1]));
    }
    close(err[1]);
    close(report[1]);
    errors_ = err[0];
    report_ = report[0];
    fcntl(errors_, F_SETFL, fcntl(errors_, F_GETFL) | O_NONBLOCK);
    if (pid_ < 0) pid_ = -1;
  }
  ~ForkedProcess() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (errors_ >= 0) close(errors_);
    if (report_ >= 0) close(report_);
  }
  ForkedProcess(const ForkedProcess&) = delete;
  ForkedProcess& operator=(const ForkedProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // Reads exactly size bytes the child sent through its report channel;
  // false when it sent fewer within the limit (or ended first).
  bool Receive(void* data, size_t size, std::chrono::milliseconds limit) {
    auto* out = static_cast<char*>(data);
    size_t got = 0;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (got < size) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd p{report_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, int(left.count())) != 1) return false;
      const ssize_t n = read(report_, out + got, size - got);
      if (n <= 0) return false;
      got += size_t(n);
    }
    return true;
  }

  // Waits up to limit for the child to end; false while it still runs.
  bool Wait(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return false;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ended_) {
      Drain();
      if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        ended_ = true;
        break;
      }
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Drain();
    return true;
  }

  int Status() const { return status_; }
  bool ExitedWith(int code) const {
    return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code;
  }
  std::string Describe() const {
    if (!ended_) return "still running";
    if (WIFEXITED(status_)) return "exit status " + std::to_string(WEXITSTATUS(status_));
    if (WIFSIGNALED(status_)) return "killed by signal " + std::to_string(WTERMSIG(status_));
    return "status " + std::to_string(status_);
  }
  // Everything the child wrote on standard error so far.
  const std::string& StandardError() {
    Drain();
    return stderr_;
  }

 private:
  void Drain() {
    char buffer[512];
    ssize_t n;
    while (errors_ >= 0 && (n = read(errors_, buffer, sizeof buffer)) > 0)
      stderr_.append(buffer, size_t(n));
  }

  pid_t pid_ = -1;
  int errors_ = -1, report_ = -1;
  int status_ = 0;
  bool ended_ = false;
  std::string stderr_;
};

}  // namespace testprocess
