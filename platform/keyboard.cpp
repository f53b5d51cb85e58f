// The keyboard map and key translation: platform-free tables that turn a
// key message (character, set-1 scancode, control-key state) into the key
// code the queue holds.  Pure functions over constant tables; any thread.
#include "keyboard.h"

#include <array>

namespace fb {

// Scancodes 74, 76, 84-86, 89, 90 and 94 up have no entry.  Both Shift
// keys map to the one virtual key Shift, so either one sets 42 and 54.
const KeyMapEntry KEYBOARD_MAP[87] = {
    {1, VK_ESCAPE, 0},
    {2, '1', 0}, {3, '2', 0}, {4, '3', 0}, {5, '4', 0}, {6, '5', 0},
    {7, '6', 0}, {8, '7', 0}, {9, '8', 0}, {10, '9', 0}, {11, '0', 0},
    {12, VK_OEM_MINUS, VK_SUBTRACT}, {13, VK_OEM_PLUS, 0}, {14, VK_BACK, 0}, {15, VK_TAB, 0},
    {16, 'Q', 0}, {17, 'W', 0}, {18, 'E', 0}, {19, 'R', 0}, {20, 'T', 0},
    {21, 'Y', 0}, {22, 'U', 0}, {23, 'I', 0}, {24, 'O', 0}, {25, 'P', 0},
    {26, VK_OEM_4, 0}, {27, VK_OEM_6, 0}, {28, VK_RETURN, 0}, {29, VK_CONTROL, 0},
    {30, 'A', 0}, {31, 'S', 0}, {32, 'D', 0}, {33, 'F', 0}, {34, 'G', 0},
    {35, 'H', 0}, {36, 'J', 0}, {37, 'K', 0}, {38, 'L', 0},
    {39, VK_OEM_1, 0}, {40, VK_OEM_7, 0}, {41, VK_OEM_3, 0}, {42, VK_SHIFT, 0}, {43, VK_OEM_5, 0},
    {44, 'Z', 0}, {45, 'X', 0}, {46, 'C', 0}, {47, 'V', 0}, {48, 'B', 0}, {49, 'N', 0}, {50, 'M', 0},
    {51, VK_OEM_COMMA, 0}, {52, VK_OEM_PERIOD, 0}, {53, VK_OEM_2, VK_DIVIDE}, {54, VK_SHIFT, 0},
    {55, VK_MULTIPLY, 0}, {56, VK_MENU, 0}, {57, VK_SPACE, 0}, {58, VK_CAPITAL, 0},
    {59, VK_F1, 0}, {60, VK_F2, 0}, {61, VK_F3, 0}, {62, VK_F4, 0}, {63, VK_F5, 0},
    {64, VK_F6, 0}, {65, VK_F7, 0}, {66, VK_F8, 0}, {67, VK_F9, 0}, {68, VK_F10, 0},
    {69, VK_NUMLOCK, 0}, {70, VK_SCROLL, 0},
    {71, VK_HOME, VK_NUMPAD7}, {72, VK_UP, VK_NUMPAD8}, {73, VK_PRIOR, VK_NUMPAD9},
    {75, VK_LEFT, VK_NUMPAD4}, {77, VK_RIGHT, VK_NUMPAD6}, {78, VK_ADD, 0},
    {79, VK_END, VK_NUMPAD1}, {80, VK_DOWN, VK_NUMPAD2}, {81, VK_NEXT, VK_NUMPAD3},
    {82, VK_INSERT, VK_NUMPAD0}, {83, VK_DELETE, VK_DECIMAL},
    {87, VK_F11, 0}, {88, VK_F12, 0},
    {91, VK_LWIN, 0}, {92, VK_RWIN, 0}, {93, VK_APPS, 0},
    {0, 0, 0},
};
static_assert(KEYBOARD_MAP_SIZE == 86);

int ScancodeOfVirtualKey(int32_t virtualKey) {
  // 0 is the "no secondary key" filler, never a key of its own.
  if (virtualKey <= 0 || virtualKey > 255) return 0;
  for (int i = 0; i < KEYBOARD_MAP_SIZE; i++) {
    const KeyMapEntry& entry = KEYBOARD_MAP[i];
    if (entry.primary == virtualKey || entry.secondary == virtualKey) return entry.scancode;
  }
  return 0;
}

void SampleKeyState(uint8_t* keyState, const uint8_t* virtualKeysHeld) {
  // Only mapped scancodes are written; the others keep the 0 they were
  // cleared to.
  for (int i = 0; i < KEYBOARD_MAP_SIZE; i++) {
    const KeyMapEntry& entry = KEYBOARD_MAP[i];
    bool held = virtualKeysHeld[entry.primary] != 0 ||
                (entry.secondary != 0 && virtualKeysHeld[entry.secondary] != 0);
    keyState[entry.scancode] = held ? 1 : 0;
  }
}

void SampleScancodeState(uint8_t* keyState, const uint8_t* deviceState) {
  for (int i = 0; i < 128; ++i)
    keyState[i] = ((deviceState[i] | deviceState[i + 128]) & 0x80) ? 1 : 0;
}

namespace {

// Unicode code points of code page 437 bytes 128..255.
constexpr uint16_t CP437_HIGH[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};


// Modifier columns of both translation tables.  Alt wins over Ctrl, Ctrl
// over Shift.
enum Column { COLUMN_PLAIN = 0, COLUMN_SHIFT = 1, COLUMN_CTRL = 2, COLUMN_ALT = 3 };

Column ColumnOf(uint32_t controlState) {
  if (controlState & (CTRL_STATE_LEFT_ALT | CTRL_STATE_RIGHT_ALT)) return COLUMN_ALT;
  if (controlState & (CTRL_STATE_LEFT_CTRL | CTRL_STATE_RIGHT_CTRL)) return COLUMN_CTRL;
  if (controlState & CTRL_STATE_SHIFT) return COLUMN_SHIFT;
  return COLUMN_PLAIN;
}

// Scancodes 0..88 have a row in the translation table.
constexpr int TRANSLATED_SCANCODES = 89;

struct ExtendedEntry {
  uint8_t scancode;
  uint8_t code;
};

// The extended codes of the translation table, per column.  Character
// entries are left out: they never change the outcome of TranslateKey.
constexpr ExtendedEntry PLAIN_CODES[] = {
    {59, 0x3B}, {60, 0x3C}, {61, 0x3D}, {62, 0x3E}, {63, 0x3F},
    {64, 0x40}, {65, 0x41}, {66, 0x42}, {67, 0x43}, {68, 0x44},
    {71, 0x47}, {72, 0x48}, {73, 0x49}, {75, 0x4B}, {76, 0x4C}, {77, 0x4D},
    {79, 0x4F}, {80, 0x50}, {81, 0x51}, {82, 0x52}, {83, 0x53},
    {87, 0x85}, {88, 0x86},
};
constexpr ExtendedEntry SHIFT_CODES[] = {
    {15, 0x0F},
    {59, 0x54}, {60, 0x55}, {61, 0x56}, {62, 0x57}, {63, 0x58},
    {64, 0x59}, {65, 0x5A}, {66, 0x5B}, {67, 0x5C}, {68, 0x5D},
    {87, 0x87}, {88, 0x88},
};
constexpr ExtendedEntry CTRL_CODES[] = {
    {3, 0x03}, {15, 0x94},
    {59, 0x5E}, {60, 0x5F}, {61, 0x60}, {62, 0x61}, {63, 0x62},
    {64, 0x63}, {65, 0x64}, {66, 0x65}, {67, 0x66}, {68, 0x67},
    {71, 0x77}, {72, 0x8D}, {73, 0x84}, {75, 0x73}, {76, 0x8F}, {77, 0x74},
    {79, 0x75}, {80, 0x91}, {81, 0x76}, {82, 0x92}, {83, 0x93},
    {87, 0x89}, {88, 0x8A},
};
// Alt+7 and Alt+8 share their codes with Alt+minus and Alt+equals, so a
// program cannot tell those pairs apart.
constexpr ExtendedEntry ALT_CODES[] = {
    {1, 0x01}, {2, 0x78}, {3, 0x79}, {4, 0x7A}, {5, 0x7B}, {6, 0x7C}, {7, 0x7D},
    {8, 0x82}, {9, 0x83}, {10, 0x80}, {11, 0x81}, {12, 0x82}, {13, 0x83},
    {14, 0xE0}, {15, 0x0F},
    {59, 0x68}, {60, 0x69}, {61, 0x6A}, {62, 0x6B}, {63, 0x6C},
    {64, 0x6D}, {65, 0x6E}, {66, 0x6F}, {67, 0x70}, {68, 0x71},
    {76, 0x4C}, {87, 0x8B}, {88, 0x8C},
};

using TranslationTable = std::array<std::array<uint8_t, 4>, TRANSLATED_SCANCODES>;

constexpr TranslationTable BuildTranslationTable() {
  TranslationTable table{};
  for (ExtendedEntry e : PLAIN_CODES) table[e.scancode][COLUMN_PLAIN] = e.code;
  for (ExtendedEntry e : SHIFT_CODES) table[e.scancode][COLUMN_SHIFT] = e.code;
  for (ExtendedEntry e : CTRL_CODES) table[e.scancode][COLUMN_CTRL] = e.code;
  for (ExtendedEntry e : ALT_CODES) table[e.scancode][COLUMN_ALT] = e.code;
  // With Alt, the letter and punctuation keys give their own scancode.
  for (int sc = 16; sc <= 53; sc++) {
    if (sc != 29 && sc != 42 && sc != 43) table[sc][COLUMN_ALT] = static_cast<uint8_t>(sc);
  }
  return table;
}
constexpr TranslationTable TRANSLATION_TABLE = BuildTranslationTable();
static_assert(TRANSLATION_TABLE[30][COLUMN_ALT] == 30 && TRANSLATION_TABLE[43][COLUMN_ALT] == 0);
static_assert(TRANSLATION_TABLE[62][COLUMN_ALT] == 0x6B);  // Alt+F4 reads as the close key

// Keys the system marks as extended (cursor block, keypad Enter and slash)
// when they yield no character.  Each column holds a character code, an
// extended key code, or 0 for none.
struct ExtendedKeyRow {
  uint8_t scancode;
  int32_t code[4];
};
constexpr ExtendedKeyRow EXTENDED_KEYS[] = {
    {0x1C, {13, 13, 10, ExtendedKey(0xA6)}},  // keypad Enter
    {0x35, {0x2F, 0x3F, ExtendedKey(0x95), ExtendedKey(0xA4)}},  // keypad slash
    {0x47, {ExtendedKey(0x47), ExtendedKey(0x47), ExtendedKey(0x77), ExtendedKey(0x97)}},  // Home
    {0x48, {ExtendedKey(0x48), ExtendedKey(0x48), ExtendedKey(0x8D), ExtendedKey(0x98)}},  // Up
    {0x49, {ExtendedKey(0x49), ExtendedKey(0x49), ExtendedKey(0x84), ExtendedKey(0x99)}},  // PgUp
    {0x4B, {ExtendedKey(0x4B), ExtendedKey(0x4B), ExtendedKey(0x73), ExtendedKey(0x9B)}},  // Left
    {0x4D, {ExtendedKey(0x4D), ExtendedKey(0x4D), ExtendedKey(0x74), ExtendedKey(0x9D)}},  // Right
    {0x4F, {ExtendedKey(0x4F), ExtendedKey(0x4F), ExtendedKey(0x75), ExtendedKey(0x9F)}},  // End
    {0x50, {ExtendedKey(0x50), ExtendedKey(0x50), ExtendedKey(0x91), ExtendedKey(0xA0)}},  // Down
    {0x51, {ExtendedKey(0x51), ExtendedKey(0x51), ExtendedKey(0x76), ExtendedKey(0xA1)}},  // PgDn
    {0x52, {ExtendedKey(0x52), ExtendedKey(0x52), ExtendedKey(0x92), ExtendedKey(0xA2)}},  // Insert
    {0x53, {ExtendedKey(0x53), ExtendedKey(0x53), ExtendedKey(0x93), ExtendedKey(0xA3)}},  // Delete
};

// Character codes hold bytes 128-255 sign-extended; callers that pass the
// plain byte value get the same treatment.
int32_t CharacterCode(int32_t c) {
  return (c >= 128 && c <= 255) ? static_cast<int32_t>(static_cast<int8_t>(c)) : c;
}

int32_t SwapCase(int32_t c) {
  if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 'a';
  return c;
}

}  // namespace

int32_t TranslateKey(int32_t character, int32_t scancode, uint32_t controlState, int32_t own) {
  character = CharacterCode(character);
  own = CharacterCode(own);
  const Column column = ColumnOf(controlState);
  const int32_t characterOrNone = character != 0 ? character : KEY_NONE;

  if ((controlState & CTRL_STATE_EXTENDED) != 0 && character == 0) {
    for (const ExtendedKeyRow& row : EXTENDED_KEYS) {
      if (row.scancode == scancode) {
        int32_t code = row.code[column];
        return code != 0 ? code : KEY_NONE;
      }
    }
    return KEY_NONE;
  }
  if (scancode < 0 || scancode >= TRANSLATED_SCANCODES) return characterOrNone;
  if (column == COLUMN_PLAIN && character != 0) return character;

  // The extended code applies only while the key types what it types
  // unshifted (or its other case): a layout that puts another character
  // on the key with this modifier keeps that character.
  const uint8_t extended = TRANSLATION_TABLE[scancode][column];
  if (extended != 0 && (character == own || character == SwapCase(own))) {
    return ExtendedKey(extended);
  }
  return characterOrNone;
}

int32_t Cp437OfUnicode(uint32_t codePoint) {
  if (codePoint < 0x80) return int32_t(codePoint);
  for (int i = 0; i < 128; ++i)
    if (CP437_HIGH[i] == codePoint) return 128 + i;
  return -1;
}

int32_t TypedCharacter(uint32_t codePoint) {
  // A character the code page lacks still types something, as the
  // system's own code-page conversion does.
  const int32_t byte = Cp437OfUnicode(codePoint);
  return byte < 0 ? '?' : CharacterCode(byte);
}

}  // namespace fb
