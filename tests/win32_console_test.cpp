// The Win32 console before a screen is open: key events of a real console
// (a console of the test's own, fed through its input buffer), Alt+keypad
// composing, KeyDown from the held keys while the console window has the
// focus, the close notification, and the program name, the failure
// report (standard error or a message box) and the clock of Win32.
// Console windows need a display under Wine: without one the console
// tests are skipped.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fb/clock/clock.h>
#include <fb/platform/console.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>
#include <fb/platform/system_clock.h>
#include <fb/platform/win32/console_control.h>
#include <fb/platform/win32/win32.h>

namespace fb {
namespace {

// A console of the test's own as standard input.
class Win32ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseScreen();
    savedInput_ = GetStdHandle(STD_INPUT_HANDLE);
    FreeConsole();
    if (!AllocConsole()) GTEST_SKIP() << "no console can be made here (no display for its window)";
    input_ = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(input_, INVALID_HANDLE_VALUE);
    SetStdHandle(STD_INPUT_HANDLE, input_);
    FlushConsoleInputBuffer(input_);
    ResetConsole();
  }
  void TearDown() override {
    ResetConsole();
    SetStdHandle(STD_INPUT_HANDLE, savedInput_);
    if (input_ != INVALID_HANDLE_VALUE) CloseHandle(input_);
    FreeConsole();
  }

  struct Key {
    WORD virtualKey;
    WORD scancode;
    wchar_t character;
    DWORD control;  // the console's control-key state
    bool down = true;
  };
  void Type(const std::vector<Key>& keys) {
    std::vector<INPUT_RECORD> records;
    for (const Key& k : keys) {
      INPUT_RECORD r{};
      r.EventType = KEY_EVENT;
      r.Event.KeyEvent.bKeyDown = k.down;
      r.Event.KeyEvent.wRepeatCount = 1;
      r.Event.KeyEvent.wVirtualKeyCode = k.virtualKey;
      r.Event.KeyEvent.wVirtualScanCode = k.scancode;
      r.Event.KeyEvent.uChar.UnicodeChar = k.character;
      r.Event.KeyEvent.dwControlKeyState = k.control;
      records.push_back(r);
    }
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputW(input_, records.data(), DWORD(records.size()), &written));
    ASSERT_EQ(written, records.size());
  }
  std::vector<int32_t> Taken() {
    PollConsole();
    std::vector<int32_t> codes;
    while (ConsoleKeyHit()) codes.push_back(ConsoleTakeKey());
    return codes;
  }

  HANDLE savedInput_ = nullptr;
  HANDLE input_ = INVALID_HANDLE_VALUE;
};

TEST_F(Win32ConsoleTest, KeyEventsBecomeTheCodesOfWindowKeys) {
  constexpr DWORD SHIFT = SHIFT_PRESSED, CTRL = LEFT_CTRL_PRESSED, ENHANCED = ENHANCED_KEY;
  struct Case {
    const char* name;
    Key key;
    int32_t code;
  };
  const Case cases[] = {
      {"a", {'A', 30, L'a', 0}, 'a'},
      {"Shift+a", {'A', 30, L'A', SHIFT}, 'A'},
      {"Enter", {VK_RETURN, 28, L'\r', 0}, 13},
      {"Escape", {VK_ESCAPE, 1, 27, 0}, 27},
      {"Ctrl+b", {'B', 48, 2, CTRL}, 2},  // not Ctrl+C: the console turns it into a signal
      {"Up", {VK_UP, 72, 0, ENHANCED}, ExtendedKey(0x48)},
      {"Ctrl+Up", {VK_UP, 72, 0, ENHANCED | CTRL}, ExtendedKey(0x8D)},
      {"Delete", {VK_DELETE, 83, 0, ENHANCED}, ExtendedKey(0x53)},
      {"F1", {VK_F1, 59, 0, 0}, ExtendedKey(0x3B)},
      {"Shift+F1", {VK_F1, 59, 0, SHIFT}, ExtendedKey(0x54)},
      {"F12", {VK_F12, 88, 0, 0}, ExtendedKey(0x86)},
      {"e acute", {'2', 3, L'\u00e9', 0}, -126},  // byte 0x82 of code page 437
      {"a character the code page lacks", {'E', 18, L'\u20ac', CTRL | RIGHT_ALT_PRESSED}, '?'},
  };
  for (const Case& c : cases) {
    Key up = c.key;
    up.down = false;
    Type({c.key, up});
    EXPECT_EQ(Taken(), std::vector<int32_t>{c.code}) << c.name;
  }
  // Keys that type nothing put nothing in.
  Type({{VK_SHIFT, 42, 0, SHIFT}, {VK_CONTROL, 29, 0, CTRL}});
  EXPECT_EQ(Taken(), std::vector<int32_t>{});
}

TEST_F(Win32ConsoleTest, AltWithKeypadDigitsComposesACharacterOnRelease) {
  constexpr DWORD ALT = LEFT_ALT_PRESSED, NUMLOCK = NUMLOCK_ON;
  Type({{VK_MENU, 56, 0, ALT},
        {VK_NUMPAD1, 79, 0, ALT | NUMLOCK},
        {VK_NUMPAD3, 81, 0, ALT | NUMLOCK},
        {VK_NUMPAD0, 82, 0, ALT | NUMLOCK}});
  EXPECT_EQ(Taken(), std::vector<int32_t>{}) << "nothing before Alt is released";
  Type({{VK_MENU, 56, 0, 0, false}});
  EXPECT_EQ(Taken(), std::vector<int32_t>{-126}) << "130: byte 0x82";

  // With NumLock off the keypad reports cursor keys; still digits with Alt.
  Type({{VK_MENU, 56, 0, ALT}, {VK_END, 79, 0, ALT}, {VK_NEXT, 81, 0, ALT}, {VK_MENU, 56, 0, 0, false}});
  EXPECT_EQ(Taken(), std::vector<int32_t>{13});
  // The cursor block (enhanced keys) does not compose; Alt alone gives nothing.
  Type({{VK_MENU, 56, 0, ALT}, {VK_END, 79, 0, ALT | ENHANCED_KEY}, {VK_MENU, 56, 0, 0, false}});
  EXPECT_EQ(Taken(), (std::vector<int32_t>{ExtendedKey(0x9F)}));
}

TEST_F(Win32ConsoleTest, KeyDownReadsHeldKeysWhileTheConsoleHasTheFocus) {
  HWND console = GetConsoleWindow();
  ASSERT_NE(console, nullptr);
  SetForegroundWindow(console);
  if (GetForegroundWindow() != console) GTEST_SKIP() << "the console window cannot take the focus here";
  auto send = [](WORD virtualKey, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
  };
  // The input reaches the system's key state on its own time under Wine:
  // wait up to a second for it.
  auto waitFor = [](int scancode, int32_t held) {
    for (int i = 0; i < 100 && KeyDown(scancode) != held; ++i) ::Sleep(10);
  };
  send('W', true);
  send(VK_SHIFT, true);
  waitFor(17, -1);
  waitFor(54, -1);
  if (KeyDown(17) == 0 && !(GetAsyncKeyState('W') & 0x8000)) {
    send('W', false);
    send(VK_SHIFT, false);
    GTEST_SKIP() << "the system's key state never saw the keys sent (the input went elsewhere)";
  }
  EXPECT_EQ(KeyDown(17), -1);
  EXPECT_EQ(KeyDown(42), -1);
  EXPECT_EQ(KeyDown(54), -1) << "either Shift sets both";
  EXPECT_EQ(KeyDown(30), 0);
  EXPECT_EQ(KeyDown(128), 0);
  send('W', false);
  send(VK_SHIFT, false);
  waitFor(17, 0);
  EXPECT_EQ(KeyDown(17), 0);
}

TEST_F(Win32ConsoleTest, CloseNotificationPutsTheCloseKey) {
  EXPECT_FALSE(ConsoleControlHandler(CTRL_C_EVENT)) << "Ctrl+C keeps its usual meaning";
  std::atomic<BOOL> handled{FALSE};
  std::thread system([&] { handled = ConsoleControlHandler(CTRL_CLOSE_EVENT); });
  int32_t code = 0;
  for (int i = 0; i < 400 && code != KEY_CLOSE; ++i) {
    PollConsole();
    code = ConsoleTakeKey();
    if (code != KEY_CLOSE) ::Sleep(5);
  }
  system.join();
  EXPECT_EQ(code, KEY_CLOSE);
  EXPECT_TRUE(handled.load());
  EXPECT_EQ(Taken(), std::vector<int32_t>{}) << "once";
}

TEST(Win32ConsoleStream, TheNullDeviceIsEndOfInput) {
  HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(nul, INVALID_HANDLE_VALUE);
  SetStdHandle(STD_INPUT_HANDLE, nul);
  ResetConsole();
  PollConsole();
  EXPECT_EQ(ConsoleTakeKey(), KEY_CLOSE);
  EXPECT_TRUE(ConsoleInputEnded());
  SetStdHandle(STD_INPUT_HANDLE, saved);
  CloseHandle(nul);
  ResetConsole();
}

TEST(Win32Runtime, ProgramNameComesFromTheModuleFile) {
  EXPECT_EQ(ProgramName(), "win32_console_test");
}

// The message box that ReportFailure shows on another thread, closed
// again: its title and its texts, each followed by a line end; empty when
// the call returned without one.
std::string ReportInAnyBox(const std::string& line) {
  std::atomic<DWORD> thread{0};
  std::atomic<bool> returned{false};
  std::thread reporter([&] {
    thread = GetCurrentThreadId();
    ReportFailure(line);
    returned = true;
  });
  auto findBox = [](HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) != "#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  };
  HWND box = nullptr;
  for (int i = 0; i < 500 && !returned && !box; ++i) {
    ::Sleep(10);
    if (thread) EnumThreadWindows(thread, findBox, LPARAM(&box));
  }
  std::string shown;
  auto addText = [](HWND window, LPARAM to) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    *reinterpret_cast<std::string*>(to) += std::string(text) + "\n";
    return TRUE;
  };
  if (box) {
    addText(box, LPARAM(&shown));
    EnumChildWindows(box, addText, LPARAM(&shown));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  for (int i = 0; i < 500 && !returned; ++i) ::Sleep(10);
  if (returned)
    reporter.join();
  else
    reporter.detach();  // blocked in a box that was not found; the process ends it
  return shown;
}

TEST(Win32Runtime, AFailureGoesToStandardErrorOrElseIntoAMessageBox) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY: Wine can show no message box";
  HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  HANDLE closed = CreateFileA("NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  CloseHandle(closed);
  const std::string line = "win32_console_test: no screen could be opened: a test";
  struct Case {
    const char* name;
    HANDLE error;
    bool boxed;
  } cases[] = {
      {"a pipe", writeEnd, false},
      {"none, as from the desktop", nullptr, true},
      {"an invalid handle", INVALID_HANDLE_VALUE, true},
      {"a closed handle", closed, true},
  };
  for (const Case& c : cases) {
    SetStdHandle(STD_ERROR_HANDLE, c.error);
    const std::string shown = ReportInAnyBox(line);
    SetStdHandle(STD_ERROR_HANDLE, saved);
    if (c.boxed) {
      EXPECT_EQ(shown.substr(0, shown.find('\n')), ProgramName()) << c.name << ": the title";
      EXPECT_NE(shown.find("\n" + line + "\n"), std::string::npos) << c.name << ": " << shown;
    } else {
      EXPECT_EQ(shown, "") << c.name;
    }
  }
  CloseHandle(writeEnd);
  std::string written(256, '\0');
  DWORD got = 0;
  ReadFile(readEnd, written.data(), DWORD(written.size()), &got, nullptr);
  CloseHandle(readEnd);
  EXPECT_EQ(written.substr(0, got), line + "\r\n") << "once, through the pipe only";
}

TEST(Win32Runtime, ClockCountsSecondsOnTheCounter) {
  const double start = SystemSeconds();
  double previous = start;
  for (int i = 0; i < 1000; ++i) {
    const double now = SystemSeconds();
    ASSERT_GE(now, previous);
    previous = now;
  }
  ::Sleep(100);
  // Not a timing check: a clock in the wrong unit is off by a factor of
  // a thousand either way.
  const double slept = SystemSeconds() - start;
  EXPECT_GT(slept, 0.05);
  EXPECT_LT(slept, 10.0);
  EXPECT_GE(TimerSeconds(), previous);
}

}  // namespace
}  // namespace fb
