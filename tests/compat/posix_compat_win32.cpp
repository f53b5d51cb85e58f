#include "tests/compat/posix_compat.h"

#include <direct.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <windows.h>

int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name)) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

char* mkdtemp(char* pattern) {
  if (_mktemp_s(pattern, strlen(pattern) + 1) != 0) return nullptr;
  return _mkdir(pattern) == 0 ? pattern : nullptr;
}

int pipe(int fds[2]) { return _pipe(fds, 65536, _O_BINARY | _O_NOINHERIT); }

int fcntl(int fd, int command, int flags) {
  if (command == F_GETFL) return 0;
  if (command != F_SETFL) {
    errno = EINVAL;
    return -1;
  }
  DWORD mode = (flags & O_NONBLOCK) ? PIPE_NOWAIT : PIPE_WAIT;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  return SetNamedPipeHandleState(handle, &mode, nullptr, nullptr) ? 0 : -1;
}

unsigned alarm(unsigned seconds) {
  // Each call supersedes the last: a watcher only fires if it is still
  // the newest one when its time is up.
  static std::atomic<unsigned> generation{0};
  const unsigned mine = ++generation;
  if (seconds == 0) return 0;
  std::thread([mine, seconds] {
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    if (generation == mine) _exit(128 + 14);
  }).detach();
  return 0;
}
