// The console on POSIX systems: output to standard output, key input from
// standard input.  A terminal on standard input is switched to
// non-canonical, no-echo mode on first use, so single key presses arrive
// without Enter, and is put back at exit.  Program's thread only.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "../console.h"
#include "../console_stream.h"

namespace fb {

namespace {

// The terminal's own settings, kept to put back.  Written once, before
// any handler that reads them is installed.
struct termios savedTerminal;
volatile sig_atomic_t terminalChanged = 0;
bool terminalChecked = false;

// tcsetattr is async-signal-safe, so the signal handlers use this too.
void RestoreTerminal() {
  if (terminalChanged) {
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    terminalChanged = 0;
  }
}

void RestoreTerminalAtExit() { RestoreTerminal(); }

// Ctrl+C and kill end the process without running exit handlers; the
// terminal must not be left without echo.  The signal then does what it
// would have done.
void RestoreTerminalAndRaise(int signalNumber) {
  RestoreTerminal();
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void InstallSignalRestorer(int signalNumber) {
  struct sigaction current;
  if (sigaction(signalNumber, nullptr, &current) != 0) return;
  // A program that handles the signal itself keeps its handler.
  if (current.sa_handler != SIG_DFL || (current.sa_flags & SA_SIGINFO) != 0) return;
  struct sigaction restorer = {};
  restorer.sa_handler = RestoreTerminalAndRaise;
  sigemptyset(&restorer.sa_mask);
  sigaction(signalNumber, &restorer, nullptr);
}

void SetUpTerminalOnce() {
  if (terminalChecked) return;
  terminalChecked = true;
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
  struct termios raw = savedTerminal;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
  terminalChanged = 1;
  std::atexit(RestoreTerminalAtExit);
  InstallSignalRestorer(SIGINT);
  InstallSignalRestorer(SIGTERM);
  InstallSignalRestorer(SIGQUIT);
  InstallSignalRestorer(SIGHUP);
}

// Reads at most this many chunks per poll, so that an endless source
// (a device that is always readable) cannot hold the caller forever.
constexpr int MAX_READS_PER_POLL = 64;

}  // namespace

void ConsoleWrite(std::string_view text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(STDOUT_FILENO, p, left);
    if (n > 0) {
      p += n;
      left -= static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      struct pollfd out = {STDOUT_FILENO, POLLOUT, 0};
      if (poll(&out, 1, -1) < 0 && errno != EINTR) return;
    } else {
      return;  // the output is gone; the library prints nothing on failure
    }
  }
}

void ConsoleClear() {
  if (isatty(STDOUT_FILENO)) ConsoleWrite("\x1b[2J\x1b[H");
}

void PollConsole() {
  if (ConsoleInputEnded()) return;
  SetUpTerminalOnce();
  bool readAny = false;
  for (int reads = 0; reads < MAX_READS_PER_POLL; reads++) {
    struct pollfd in = {STDIN_FILENO, POLLIN, 0};
    int ready = poll(&in, 1, 0);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    if (in.revents & POLLNVAL) {  // standard input is closed
      NoteConsoleEndOfInput();
      return;
    }
    char buffer[256];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      // Readable but empty: end of file, a closed pipe or a hung-up
      // terminal.  A read error means no more input either.
      NoteConsoleEndOfInput();
      return;
    }
    FeedConsoleBytes(buffer, static_cast<size_t>(n));
    readAny = true;
  }
  if (!readAny) NoteConsoleQuiet();
}

// A terminal reports no held keys.
int32_t ConsoleKeyDown(int32_t) { return 0; }

void ResetPlatformConsole() {}

}  // namespace fb
