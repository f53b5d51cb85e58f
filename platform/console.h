// The console: text output and key input before a screen is open.  Output
// goes to standard output.  Input is read from standard input without
// waiting whenever a reader runs and translated into the same key codes as
// window keys: a POSIX terminal is switched to non-canonical mode
// (restored at exit) and its bytes and escape sequences are decoded; a
// Win32 console gives key events.  Input that is not a console (a pipe, a
// file) is decoded as terminal bytes on both.  End of input, and a Win32
// console's close notification, put KEY_CLOSE into the ring, so a program
// without a terminal never waits forever for a key.
// Program's thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fb {

constexpr int CONSOLE_RING_SLOTS = 512;  // at most 511 keys wait

void ConsoleWrite(std::string_view text);
void ConsoleClear();

// Reads whatever waits on standard input into the console ring.
void PollConsole();
// Takes the oldest console key (0 when none) and clears the key-hit flag.
int32_t ConsoleTakeKey();
bool ConsoleKeyHit();
bool ConsoleTakeKeyHitFlag();
void ConsolePutKey(int32_t code);
// Whether standard input has ended (its close key has been put in).
bool ConsoleInputEnded();
// KeyDown before a screen is open: -1 while the key with this set-1
// scancode is held and the console window has the focus, else 0.  A
// POSIX terminal reports no held keys: always 0 there.
int32_t ConsoleKeyDown(int32_t scancode);

// Translates terminal input bytes into key codes, keeping an incomplete
// escape sequence for the next call.  Platform-free; the console feeds it.
struct TerminalDecoder {
  char pending[16] = {};
  size_t pendingLength = 0;
};
// Decodes bytes, calling put(code) for every key; a lone Escape at the end
// of bytes stays pending unless flush is set.
void DecodeTerminalInput(TerminalDecoder& decoder, const char* bytes, size_t length, bool flush,
                         void (*put)(int32_t code, void* user), void* user);

// Tests: empties the console ring and forgets end of input.
void ResetConsole();

}  // namespace fb
