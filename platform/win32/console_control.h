// The Win32 console's control handler, open to tests: the system calls it
// on a thread of its own when the console is closed, the user logs off or
// the system shuts down.  It puts the close key into the console ring
// through the program's next console read, waiting up to 4 s for that
// read, and returns TRUE; other events (Ctrl+C, Ctrl+Break) return FALSE.
#pragma once
#include "win32.h"

namespace fb {

BOOL WINAPI ConsoleControlHandler(DWORD event);

}  // namespace fb
