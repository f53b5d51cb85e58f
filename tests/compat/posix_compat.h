// The few POSIX calls the tests use that the Windows C runtime lacks,
// given their POSIX meaning.  The Windows test build includes this header
// ahead of every test source (tests/CMakeLists.txt), so the tests stay
// written once.  No <windows.h> here: it would rename the library's own
// names in the tests that follow (platform/win32/win32.h says which).
#pragma once
#include <fcntl.h>
#include <io.h>
#include <unistd.h>

#define F_GETFL 3
#define F_SETFL 4
#define O_NONBLOCK 0x40000

// setenv/unsetenv through the runtime's environment.
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
// Creates a directory named after the template, its trailing XXXXXX
// replaced; returns the template, or nullptr.
char* mkdtemp(char* pattern);
// An anonymous pipe; both ends binary and not inherited.
int pipe(int fds[2]);
// F_SETFL with O_NONBLOCK makes a pipe's reads return at once; other
// commands fail.
int fcntl(int fd, int command, int flags);
// After seconds, ends the process with status 128 + 14, as an unhandled
// SIGALRM would (0 cancels); returns 0.  Guards death tests against hangs.
unsigned alarm(unsigned seconds);
