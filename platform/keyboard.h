// Keyboard state, the key queue and key translation.
// The key-state table (in the ScreenContext) and the key queue are written
// by the window thread under the display lock and read by the program's
// thread inside ScreenLock/ScreenUnlock.  Before a screen is open the same
// readers work on the console (standard input).
#pragma once
#include <cstdint>
#include <string>

namespace fb {

// Virtual keys: the platform-neutral key identifiers the keyboard map and
// the translation rules work on.  Their values follow the common PC
// virtual-key numbering; each platform maps its own key symbols onto them.
enum VirtualKey : int32_t {
  VK_NONE = 0,
  VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
  VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
  VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25,
  VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
  // '0'..'9' are 0x30..0x39 and 'A'..'Z' are 0x41..0x5A.
  VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D,
  VK_NUMPAD0 = 0x60, VK_NUMPAD1, VK_NUMPAD2, VK_NUMPAD3, VK_NUMPAD4, VK_NUMPAD5,
  VK_NUMPAD6, VK_NUMPAD7, VK_NUMPAD8, VK_NUMPAD9,
  VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F,
  VK_F1 = 0x70, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10, VK_F11,
  VK_F12,
  VK_NUMLOCK = 0x90, VK_SCROLL = 0x91,
  VK_OEM_1 = 0xBA,       // ;:
  VK_OEM_PLUS = 0xBB,    // =+
  VK_OEM_COMMA = 0xBC,   // ,<
  VK_OEM_MINUS = 0xBD,   // -_
  VK_OEM_PERIOD = 0xBE,  // .>
  VK_OEM_2 = 0xBF,       // /?
  VK_OEM_3 = 0xC0,       // `~
  VK_OEM_4 = 0xDB,       // [{
  VK_OEM_5 = 0xDC,       // backslash |
  VK_OEM_6 = 0xDD,       // ]}
  VK_OEM_7 = 0xDE,       // '"
};

// One entry of the keyboard map: a set-1 scancode and the virtual keys
// that stand for it (secondary 0 when none).
struct KeyMapEntry {
  uint8_t scancode;
  uint8_t primary;
  uint8_t secondary;
};
// The 86 entries ordered by scancode, then a terminating {0, 0, 0}.
extern const KeyMapEntry KEYBOARD_MAP[87];
constexpr int KEYBOARD_MAP_SIZE = 86;

// The keyboard-map scancode of a virtual key (0 when it has none).
int ScancodeOfVirtualKey(int32_t virtualKey);

// Fills the 128-byte key-state table from a 256-byte "held" table indexed
// by virtual key (non-zero = held), through the keyboard map.
void SampleKeyState(uint8_t* keyState, const uint8_t* virtualKeysHeld);

// Fills the 128-byte key-state table from a keyboard device's 256-byte
// state indexed by the keys' own scan codes (top bit set = held): entry i
// is held when byte i or byte i + 128 is, so an extended key counts as its
// twin (the cursor keys as the keypad's, right Ctrl as Ctrl).
void SampleScancodeState(uint8_t* keyState, const uint8_t* deviceState);

// Control-key state bits of a key message.
constexpr uint32_t CTRL_STATE_RIGHT_ALT = 0x01;
constexpr uint32_t CTRL_STATE_LEFT_ALT = 0x02;
constexpr uint32_t CTRL_STATE_RIGHT_CTRL = 0x04;
constexpr uint32_t CTRL_STATE_LEFT_CTRL = 0x08;
constexpr uint32_t CTRL_STATE_SHIFT = 0x10;
constexpr uint32_t CTRL_STATE_EXTENDED = 0x100;

// The key code of a key message: character (0 when none), scancode,
// control-key state, and own = the key's unshifted character (0 when the
// key has none).  Returns a character code (bytes 128-255 sign-extended),
// an extended key (c << 8) | 0xFF, or -1 for none.
int32_t TranslateKey(int32_t character, int32_t scancode, uint32_t controlState, int32_t own);

// A Unicode character as a code page 437 byte, or -1 when the code page
// has no such character.  0..127 map to themselves.
int32_t Cp437OfUnicode(uint32_t codePoint);

// The character a typed Unicode character puts into the key queue: its
// code page 437 byte (128-255 sign-extended), or '?' when the code page
// has no such character.  Window and console input both type through it.
int32_t TypedCharacter(uint32_t codePoint);

// Key codes.
constexpr int32_t KEY_NONE = -1;
constexpr int32_t KEY_CLOSE = 0x6BFF;  // the window's close box
constexpr int32_t ExtendedKey(int code) { return (code << 8) | 0xFF; }

// --- The key queue: 16 slots, at most 15 keys, oldest dropped. ---

// Puts a key code into the queue and sets the key-hit flag.  Window thread
// only, under the display lock.
void PutKey(int32_t code);

// Takes the oldest key out as its string: empty when nothing waits, one
// byte for a character, or 255 and the extended code.  Never waits.
std::string ReadKey();

// Whether a key waits, without taking it.
bool KeyHit();

// Takes the oldest key out, sleeping 20 ms between tries while none waits.
// Returns the raw key code.
int32_t WaitKey();

// Returns the key-hit flag and clears it.  Used by Sleep.
bool TakeKeyHitFlag();

// -1 while the key with this scancode is held, else 0.  Scancodes outside
// 0..127 give 0.  Before a screen is open the console answers
// (ConsoleKeyDown): a Win32 console window with the focus reports its
// held keys, a POSIX terminal none.
int32_t KeyDown(int32_t scancode);

// The string ReadKey returns for a key code.
std::string KeyCodeString(int32_t code);

// Empties the key queue and clears its flag (tests).
void ResetKeyQueue();

}  // namespace fb
