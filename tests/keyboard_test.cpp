// The keyboard map, key translation, the key queue and its readers, with a
// screen open on the Null driver and with none (the console).
#include <fb/platform/keyboard.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>

#include <fb/platform/console.h>
#include <fb/platform/screen.h>
#include "tests/piped_descriptor.h"

namespace fb {
namespace {

std::string Ext(int c) { return std::string{'\xFF', static_cast<char>(c)}; }

TEST(KeyboardMap, HasEightySixEntriesInScancodeOrderThenTheTerminator) {
  std::set<int> mapped;
  int previous = 0;
  for (int i = 0; i < KEYBOARD_MAP_SIZE; i++) {
    EXPECT_GT(KEYBOARD_MAP[i].scancode, previous) << i;
    EXPECT_NE(KEYBOARD_MAP[i].primary, 0) << i;
    previous = KEYBOARD_MAP[i].scancode;
    mapped.insert(previous);
  }
  EXPECT_EQ(KEYBOARD_MAP[KEYBOARD_MAP_SIZE].scancode, 0);
  EXPECT_EQ(previous, 93);
  for (int sc : {74, 76, 84, 85, 86, 89, 90}) EXPECT_EQ(mapped.count(sc), 0u) << sc;
}

TEST(KeyboardMap, ScancodeOfVirtualKey) {
  struct Case {
    int32_t virtualKey;
    int scancode;
  };
  const Case cases[] = {
      {VK_ESCAPE, 1},  {'0', 11},        {VK_SUBTRACT, 12}, {'W', 17},       {VK_SHIFT, 42},
      {VK_DIVIDE, 53}, {VK_F10, 68},     {VK_NUMPAD8, 72},  {VK_UP, 72},     {VK_F12, 88},
      {VK_APPS, 93},   {VK_PAUSE, 0},    {VK_NONE, 0},      {-3, 0},         {0x1FF, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ScancodeOfVirtualKey(c.virtualKey), c.scancode) << c.virtualKey;
}

TEST(KeyboardMap, SamplingFollowsBothKeysOfAnEntry) {
  uint8_t held[256] = {};
  uint8_t keyState[KEY_STATE_SIZE];
  std::memset(keyState, 0, sizeof keyState);
  keyState[74] = 7;  // no entry: sampling must not touch it

  held[VK_SHIFT] = 0x80;
  held[VK_NUMPAD8] = 1;  // the secondary key of scancode 72
  held[size_t('W')] = 1;
  SampleKeyState(keyState, held);
  EXPECT_EQ(keyState[42], 1);
  EXPECT_EQ(keyState[54], 1);  // either Shift sets both
  EXPECT_EQ(keyState[72], 1);
  EXPECT_EQ(keyState[17], 1);
  EXPECT_EQ(keyState[30], 0);
  EXPECT_EQ(keyState[74], 7);

  std::memset(held, 0, sizeof held);
  held[VK_UP] = 1;
  SampleKeyState(keyState, held);
  EXPECT_EQ(keyState[42], 0);
  EXPECT_EQ(keyState[54], 0);
  EXPECT_EQ(keyState[17], 0);
  EXPECT_EQ(keyState[72], 1);
}

TEST(KeyboardMap, DeviceStateCountsAnExtendedKeyAsItsTwin) {
  struct Case {
    const char* what;
    int deviceByte;  // the one byte set in the device's state
    uint8_t value;
    int held;  // the table entry that must be 1, -1 for none
  } cases[] = {
      {"w", 0x11, 0x80, 17},
      {"the cursor key Up as the keypad's 8", 0xC8, 0x80, 72},
      {"right Ctrl as Ctrl", 0x9D, 0x80, 29},
      {"keypad Enter as Enter", 0x9C, 0x80, 28},
      {"only the top bit counts", 0x11, 0x7F, -1},
      {"code 127, the table's last", 0x7F, 0x80, 127},
      {"code 255 as 127", 0xFF, 0x80, 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    uint8_t device[256] = {};
    device[c.deviceByte] = c.value;
    uint8_t keyState[KEY_STATE_SIZE];
    std::memset(keyState, 1, sizeof keyState);  // what an earlier sample left
    SampleScancodeState(keyState, device);
    for (int i = 0; i < KEY_STATE_SIZE; ++i) ASSERT_EQ(keyState[i], i == c.held ? 1 : 0) << i;
  }
}

constexpr uint32_t SHIFT = CTRL_STATE_SHIFT;
constexpr uint32_t CTRL = CTRL_STATE_LEFT_CTRL;
constexpr uint32_t RCTRL = CTRL_STATE_RIGHT_CTRL;
constexpr uint32_t ALT = CTRL_STATE_LEFT_ALT;
constexpr uint32_t RALT = CTRL_STATE_RIGHT_ALT;
constexpr uint32_t EXT = CTRL_STATE_EXTENDED;

struct TranslateCase {
  const char* what;
  int32_t character, scancode;
  uint32_t state;
  int32_t own;
  int32_t expected;
};

const TranslateCase TRANSLATE_CASES[] = {
    {"plain letter", 'a', 30, 0, 'A', 'a'},
    {"Shift letter has no extended code", 'A', 30, SHIFT, 'A', 'A'},
    {"Ctrl letter is its control character", 1, 30, CTRL, 'A', 1},
    {"plain Tab", 9, 15, 0, 9, 9},
    {"Shift+Tab", 9, 15, SHIFT, 9, ExtendedKey(0x0F)},
    {"Ctrl+Tab", 9, 15, RCTRL, 9, ExtendedKey(0x94)},
    {"F1", 0, 59, 0, 0, ExtendedKey(0x3B)},
    {"Shift+F1", 0, 59, SHIFT, 0, ExtendedKey(0x54)},
    {"Ctrl+F10", 0, 68, CTRL, 0, ExtendedKey(0x67)},
    {"Alt+F10", 0, 68, ALT, 0, ExtendedKey(0x71)},
    {"F11", 0, 87, 0, 0, ExtendedKey(0x85)},
    {"F12", 0, 88, 0, 0, ExtendedKey(0x86)},
    {"Alt+F11", 0, 87, RALT, 0, ExtendedKey(0x8B)},
    {"Alt+F4 reads as the close key", 0, 62, ALT, 0, KEY_CLOSE},
    {"Alt wins over Ctrl", 0, 59, ALT | CTRL, 0, ExtendedKey(0x68)},
    {"Ctrl wins over Shift", 0, 59, CTRL | SHIFT, 0, ExtendedKey(0x5E)},
    {"Alt+letter gives its scancode", 'a', 30, ALT, 'A', ExtendedKey(30)},
    {"Alt+Escape", 27, 1, ALT, 27, ExtendedKey(0x01)},
    {"Alt+1", '1', 2, ALT, '1', ExtendedKey(0x78)},
    {"Alt+7", '7', 8, ALT, '7', ExtendedKey(0x82)},
    {"Alt+Backspace", 8, 14, ALT, 8, ExtendedKey(0xE0)},
    {"Ctrl+2 typing its own digit", '2', 3, CTRL, '2', ExtendedKey(0x03)},
    {"Ctrl+2 typing nothing", 0, 3, CTRL, '2', KEY_NONE},
    // AltGr is Ctrl+Alt; the layout's third character is not the key's
    // own, so it stays a character.
    {"AltGr character keeps the character", '@', 16, CTRL | RALT, 'Q', '@'},
    {"keypad 8 without Num Lock", 0, 72, 0, 0, ExtendedKey(0x48)},
    {"Ctrl+keypad 8", 0, 72, RCTRL, 0, ExtendedKey(0x8D)},
    {"keypad 5 without Num Lock", 0, 76, 0, 0, ExtendedKey(0x4C)},
    {"keypad 8 with Num Lock types a digit", '8', 72, 0, 0, '8'},
    {"Ctrl+Up", 0, 0x48, CTRL | EXT, 0, ExtendedKey(0x8D)},
    {"Shift+Up", 0, 0x48, SHIFT | EXT, 0, ExtendedKey(0x48)},
    {"Alt+Up", 0, 0x48, ALT | EXT, 0, ExtendedKey(0x98)},
    {"Delete", 0, 0x53, EXT, 0, ExtendedKey(0x53)},
    {"Alt+Delete", 0, 0x53, ALT | EXT, 0, ExtendedKey(0xA3)},
    {"keypad Enter", 13, 0x1C, EXT, 13, 13},
    {"Ctrl+keypad Enter", 0, 0x1C, CTRL | EXT, 0, 10},
    {"Alt+keypad Enter", 0, 0x1C, ALT | EXT, 0, ExtendedKey(0xA6)},
    {"Ctrl+keypad slash", 0, 0x35, CTRL | EXT, 0, ExtendedKey(0x95)},
    {"Shift keypad slash without character", 0, 0x35, SHIFT | EXT, 0, 0x3F},
    {"extended key missing from the table", 0, 0x5B, EXT, 0, KEY_NONE},
    {"key without character or code", 0, 58, 0, 0, KEY_NONE},
    {"scancode 89 and up: character", 'x', 100, ALT, 'X', 'x'},
    {"scancode 89 and up: nothing", 0, 95, 0, 0, KEY_NONE},
    {"byte 0x82 is stored sign-extended", 0x82, 18, 0, 'E', -126},
    {"sign-extended character passes", -126, 18, 0, 'E', -126},
};

TEST(TranslateKey, FollowsTheTables) {
  for (const TranslateCase& c : TRANSLATE_CASES) {
    EXPECT_EQ(TranslateKey(c.character, c.scancode, c.state, c.own), c.expected) << c.what;
  }
}

TEST(KeyCodeString, OneOrTwoBytes) {
  struct Case {
    int32_t code;
    std::string text;
  };
  const Case cases[] = {
      {0, ""},
      {'a', "a"},
      {-126, "\x82"},
      {ExtendedKey(0x48), Ext('H')},
      {ExtendedKey(0x3B), Ext(';')},
      {KEY_CLOSE, Ext('k')},
  };
  for (const Case& c : cases) EXPECT_EQ(KeyCodeString(c.code), c.text) << c.code;
}

class KeyQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SetScreenMode(64, 48, 32, 0, SCREEN_NULL, 0), 0);
    ResetKeyQueue();
  }
  void TearDown() override {
    ResetKeyQueue();
    CloseScreen();
  }
};

TEST_F(KeyQueueTest, KeepsTheLastFifteenKeysInOrder) {
  for (int i = 0; i < 20; i++) PutKey('a' + i);
  for (int i = 5; i < 20; i++) {
    EXPECT_TRUE(KeyHit());
    EXPECT_EQ(ReadKey(), std::string(1, static_cast<char>('a' + i)));
  }
  EXPECT_FALSE(KeyHit());
  EXPECT_EQ(ReadKey(), "");
  // The ring goes on working after wrapping.
  PutKey(ExtendedKey(0x48));
  EXPECT_EQ(ReadKey(), Ext('H'));
}

TEST_F(KeyQueueTest, KeyHitFlagIsSetByPutsAndClearedByAnyTake) {
  EXPECT_FALSE(TakeKeyHitFlag());

  PutKey('x');
  EXPECT_TRUE(KeyHit());  // looking does not clear the flag
  EXPECT_TRUE(TakeKeyHitFlag());
  EXPECT_FALSE(TakeKeyHitFlag());
  EXPECT_TRUE(KeyHit());  // the key itself still waits

  PutKey('y');
  EXPECT_EQ(ReadKey(), "x");  // a take clears the flag, though 'y' waits
  EXPECT_FALSE(TakeKeyHitFlag());

  PutKey('u');
  ResetKeyQueue();
  EXPECT_FALSE(TakeKeyHitFlag());
  EXPECT_EQ(ReadKey(), "");
}

TEST_F(KeyQueueTest, WaitKeyTakesAWaitingKeyWithoutSleeping) {
  PutKey(ExtendedKey(0x50));
  PutKey(0);  // a character 0 is a key too
  PutKey(-126);
  EXPECT_EQ(WaitKey(), ExtendedKey(0x50));
  EXPECT_EQ(WaitKey(), 0);
  EXPECT_EQ(WaitKey(), -126);
  EXPECT_FALSE(KeyHit());
}

TEST_F(KeyQueueTest, QueueOutlivesAScreenChange) {
  PutKey('q');
  ASSERT_EQ(SetScreenMode(32, 32, 32, 0, SCREEN_NULL, 0), 0);
  EXPECT_EQ(ReadKey(), "q");
}

TEST_F(KeyQueueTest, KeyDownReadsTheKeyStateTable) {
  ScreenContext* screen = Screen();
  ASSERT_NE(screen, nullptr);
  ASSERT_NE(screen->keyState, nullptr);
  EXPECT_EQ(KeyDown(17), 0);
  screen->keyState[17] = 1;
  screen->keyState[127] = 1;
  screen->keyState[0] = 1;
  EXPECT_EQ(KeyDown(17), -1);
  EXPECT_EQ(KeyDown(127), -1);
  EXPECT_EQ(KeyDown(0), -1);
  EXPECT_EQ(KeyDown(30), 0);
  EXPECT_EQ(KeyDown(128), 0);
  EXPECT_EQ(KeyDown(-1), 0);
  EXPECT_EQ(KeyDown(INT32_MIN), 0);
  screen->keyState[17] = 0;
  EXPECT_EQ(KeyDown(17), 0);
  // The readers release what they take: nothing is left locked.
  EXPECT_EQ(screen->lockCount, 0);
}

TEST_F(KeyQueueTest, ReadersNestInsideTheProgramsLockAndMarkNoRows) {
  ScreenContext* screen = Screen();
  PutKey('k');
  ScreenLock();
  EXPECT_TRUE(KeyHit());
  EXPECT_EQ(ReadKey(), "k");
  EXPECT_EQ(KeyDown(1), 0);
  EXPECT_FALSE(TakeKeyHitFlag());
  EXPECT_EQ(screen->lockCount, 1);
  ScreenUnlock(1, 0);
  EXPECT_EQ(screen->lockCount, 0);
  for (int row = 0; row < screen->height; row++) EXPECT_EQ(screen->dirtyRows[row], 0) << row;
}

TEST(KeyReadersWithoutScreen, ReadTheConsole) {
  CloseScreen();
  ResetKeyQueue();
  PipedDescriptor stdinPipe(STDIN_FILENO);
  ResetConsole();
  PutKey('w');  // the window's queue is not what they read now
  EXPECT_FALSE(KeyHit());
  EXPECT_EQ(ReadKey(), "");
  EXPECT_FALSE(TakeKeyHitFlag());

  stdinPipe.Write("d\x1b[A");
  EXPECT_TRUE(KeyHit());
  EXPECT_TRUE(TakeKeyHitFlag());
  EXPECT_EQ(ReadKey(), "d");
  EXPECT_EQ(ReadKey(), Ext('H'));
  EXPECT_EQ(ReadKey(), "");

  ConsolePutKey(-126);
  EXPECT_EQ(WaitKey(), -126);

  // End of input reads as the close key, and sets the flag Sleep watches.
  stdinPipe.CloseWriter();
  EXPECT_TRUE(TakeKeyHitFlag());
  EXPECT_EQ(WaitKey(), KEY_CLOSE);

  EXPECT_EQ(KeyDown(1), 0);  // a terminal reports no held keys
  ResetConsole();
}

}  // namespace
}  // namespace fb
