// The platform-free half of the console: its key ring, and the decoding
// of console input that arrives as a byte stream (a terminal, a pipe, a
// file) with its end-of-input rule.  The platform console files
// (platform/posix/console.cpp, platform/win32/console.cpp) read their
// sources and feed what they read in here.  Program's thread only.
#pragma once
#include <cstddef>

namespace fb {

// Decodes bytes read from the console's input stream into the ring.
void FeedConsoleBytes(const char* bytes, size_t length);

// A poll that read nothing: a lone Escape that has waited long enough for
// the rest of a sequence is the Escape key.
void NoteConsoleQuiet();

// The input stream has ended (end of file, a closed pipe, a hung-up
// terminal): whatever is pending is decoded and the close key is put in,
// once.
void NoteConsoleEndOfInput();

// Forgets the platform file's own input state (ResetConsole calls it).
void ResetPlatformConsole();

}  // namespace fb
