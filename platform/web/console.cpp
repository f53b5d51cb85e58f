// The console of a program on a web page: what it writes goes to standard
// output, which the page shows (and the browser's console); a page has no
// standard input, so the console reads as ended at once and its close key
// is the only key it ever gives (a wait for a console key does not last
// forever).  Keys typed into the page reach the program once a screen is
// open.  Program's thread only.
#include <cstdio>

#include "../console.h"
#include "../console_stream.h"

namespace fb {

void ConsoleWrite(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  // The page shows a line when it ends; a flush shows the rest now.
  std::fflush(stdout);
}

// The page's output is a log, not a terminal: there is nothing to clear.
void ConsoleClear() {}

void PollConsole() { NoteConsoleEndOfInput(); }

// No key is held on a console that has no keyboard.
int32_t ConsoleKeyDown(int32_t) { return 0; }

void ResetPlatformConsole() {}

}  // namespace fb
