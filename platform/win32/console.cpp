// The console on Win32: output to standard output, key input from standard
// input.  A console gives key events, translated by the rules of window
// keys with the console's own control-key state; Alt with keypad digits
// composes a character from its decimal code.  Standard input that is not
// a console (a pipe, a file) is read as bytes and decoded like a POSIX
// terminal's, with the same end-of-input rule.  A console close, log-off or
// shut-down notification puts the close key into the ring.
// Program's thread only, except the control handler (a system thread).
#include <algorithm>
#include <atomic>

#include "../console.h"
#include "../console_stream.h"
#include "../keyboard.h"
#include "../screen.h"
#include "console_control.h"
#include "keys.h"
#include "win32.h"

namespace fb {

namespace {

// Reads at most this many chunks or event batches per poll, so that an
// endless source cannot hold the caller forever.
constexpr int MAX_READS_PER_POLL = 64;

// Alt + keypad digits: the decimal code typed so far.
struct Composition {
  bool active = false;  // at least one digit since Alt went down
  uint32_t value = 0;
};
Composition composition;

// Set by the control handler, taken by the program's thread.
std::atomic<bool> closeRequested{false};
std::atomic<bool> closeDelivered{false};
bool handlerInstalled = false;

// How long the control handler lets the program's thread find the close
// key before it returns; the system ends the process when it does (and
// after 5 s in any case).
constexpr DWORD CLOSE_DELIVERY_WAIT_MS = 4000;

// The keypad digit of a key event, or -1.  With NumLock off the keypad
// keys report the cursor keys, told apart from the cursor block by the
// missing enhanced-key flag.
int KeypadDigit(const KEY_EVENT_RECORD& key) {
  if (key.wVirtualKeyCode >= VK_NUMPAD0 && key.wVirtualKeyCode <= VK_NUMPAD9)
    return key.wVirtualKeyCode - VK_NUMPAD0;
  if (key.dwControlKeyState & ENHANCED_KEY) return -1;
  switch (key.wVirtualScanCode) {
    case 82: return 0;
    case 79: return 1;
    case 80: return 2;
    case 81: return 3;
    case 75: return 4;
    case 76: return 5;
    case 77: return 6;
    case 71: return 7;
    case 72: return 8;
    case 73: return 9;
    default: return -1;
  }
}

void HandleKeyEvent(const KEY_EVENT_RECORD& key) {
  const bool alt = (key.dwControlKeyState & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
  if (!key.bKeyDown) {
    if (key.wVirtualKeyCode == VK_MENU) {
      // Releasing Alt delivers the composed character; code 0 types nothing.
      if (composition.active && (composition.value & 0xFF) != 0)
        ConsolePutKey(int32_t(int8_t(uint8_t(composition.value & 0xFF))));
      composition = Composition{};
    }
    return;
  }
  const int digit = alt ? KeypadDigit(key) : -1;
  if (digit >= 0) {
    composition.active = true;
    // Only the low byte counts; keep the sum from growing without end.
    composition.value = (composition.value * 10 + uint32_t(digit)) % 1000;
    return;
  }
  // The console's control-key state uses the same bits as a key message's.
  const uint32_t control =
      key.dwControlKeyState & (CTRL_STATE_RIGHT_ALT | CTRL_STATE_LEFT_ALT | CTRL_STATE_RIGHT_CTRL |
                               CTRL_STATE_LEFT_CTRL | CTRL_STATE_SHIFT | CTRL_STATE_EXTENDED);
  int32_t character = 0;
  if (key.uChar.UnicodeChar != 0) {
    // A character the code page lacks still types something, as the
    // terminal decoder does.
    character = Cp437OfUnicode(key.uChar.UnicodeChar);
    if (character < 0) character = '?';
  }
  const int32_t code = TranslateKey(character, key.wVirtualScanCode, control,
                                    win32::UnshiftedCharacter(key.wVirtualKeyCode));
  if (code != KEY_NONE) ConsolePutKey(code);
}

void ReadConsoleEvents(HANDLE input) {
  for (int reads = 0; reads < MAX_READS_PER_POLL; reads++) {
    DWORD waiting = 0;
    if (!GetNumberOfConsoleInputEvents(input, &waiting) || waiting == 0) return;
    INPUT_RECORD records[64];
    DWORD count = 0;
    if (!ReadConsoleInputW(input, records, std::min<DWORD>(waiting, 64), &count)) return;
    for (DWORD i = 0; i < count; ++i)
      if (records[i].EventType == KEY_EVENT) HandleKeyEvent(records[i].Event.KeyEvent);
  }
}

// Standard input that is not a console.  Pipes are read as far as they
// hold bytes; a file to its end.  A character device that is not a
// console (the NUL device) has nothing to give without waiting.
void ReadStream(HANDLE input) {
  const DWORD type = GetFileType(input);
  if (type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK) {
    NoteConsoleEndOfInput();
    return;
  }
  bool readAny = false;
  for (int reads = 0; reads < MAX_READS_PER_POLL; reads++) {
    char buffer[256];
    DWORD wanted = sizeof buffer;
    if (type == FILE_TYPE_PIPE) {
      DWORD available = 0;
      if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) {
        NoteConsoleEndOfInput();  // the writer has gone
        return;
      }
      if (available == 0) break;
      wanted = std::min<DWORD>(available, wanted);
    }
    DWORD count = 0;
    if (!ReadFile(input, buffer, wanted, &count, nullptr) || count == 0) {
      NoteConsoleEndOfInput();
      return;
    }
    FeedConsoleBytes(buffer, count);
    readAny = true;
  }
  if (!readAny) NoteConsoleQuiet();
}

void InstallControlHandlerOnce() {
  if (handlerInstalled) return;
  handlerInstalled = true;
  SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
}

}  // namespace

BOOL WINAPI ConsoleControlHandler(DWORD event) {
  if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
    return FALSE;  // Ctrl+C and Ctrl+Break keep their usual meaning
  closeDelivered = false;
  closeRequested = true;
  for (DWORD waited = 0; waited < CLOSE_DELIVERY_WAIT_MS && !closeDelivered; waited += 10)
    ::Sleep(10);
  return TRUE;
}

void ConsoleWrite(std::string_view text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    const DWORD chunk = DWORD(std::min<size_t>(left, 1u << 20));
    // The output is gone; the library prints nothing on failure.
    if (!WriteFile(output, p, chunk, &written, nullptr) || written == 0) return;
    p += written;
    left -= written;
  }
}

void ConsoleClear() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(output, &info)) return;  // not a console
  const DWORD cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y);
  const COORD origin = {0, 0};
  DWORD done = 0;
  FillConsoleOutputCharacterA(output, ' ', cells, origin, &done);
  FillConsoleOutputAttribute(output, info.wAttributes, cells, origin, &done);
  SetConsoleCursorPosition(output, origin);
}

void PollConsole() {
  InstallControlHandlerOnce();
  if (closeRequested.exchange(false)) {
    ConsolePutKey(KEY_CLOSE);
    closeDelivered = true;
  }
  if (ConsoleInputEnded()) return;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) {
    NoteConsoleEndOfInput();  // no standard input at all
    return;
  }
  DWORD mode = 0;
  if (GetConsoleMode(input, &mode))
    ReadConsoleEvents(input);
  else
    ReadStream(input);
}

int32_t ConsoleKeyDown(int32_t scancode) {
  if (scancode <= 0 || scancode >= KEY_STATE_SIZE) return 0;
  HWND console = GetConsoleWindow();
  if (console == nullptr || GetForegroundWindow() != console) return 0;
  for (int i = 0; i < KEYBOARD_MAP_SIZE; i++) {
    const KeyMapEntry& entry = KEYBOARD_MAP[i];
    if (entry.scancode != scancode) continue;
    const bool held = (GetAsyncKeyState(entry.primary) & 0x8000) != 0 ||
                      (entry.secondary != 0 && (GetAsyncKeyState(entry.secondary) & 0x8000) != 0);
    return held ? -1 : 0;
  }
  return 0;
}

void ResetPlatformConsole() {
  composition = Composition{};
  closeRequested = false;
  closeDelivered = false;
}

}  // namespace fb
