// Keys of the "Canvas" driver: a page's keyboard events (their code, the
// key's position, and their key, what it types in the current layout) as
// the virtual keys, characters and extended-key marks the key rules work
// on.  Constant tables only, so any thread may call this, and it builds
// and is tested on every platform.
//
// The choices follow the X11 driver's, so that a key gives the same
// scancode and character in the page as in a Linux window: letters and
// digits go by what the layout types (scancode 30 is whichever key types
// "a"), every other key by its position; keypad keys follow NumLock.
#include <algorithm>
#include <string_view>

#include "canvas.h"
#include "../keyboard.h"

namespace fb {

namespace {

struct NamedKey {
  const char* name;
  int32_t virtualKey;
};

// Keys by their code (position) when what they type names no virtual key.
constexpr NamedKey CODE_KEYS[] = {
    {"Space", VK_SPACE}, {"Escape", VK_ESCAPE}, {"Enter", VK_RETURN}, {"Backspace", VK_BACK},
    {"Tab", VK_TAB}, {"Minus", VK_OEM_MINUS}, {"Equal", VK_OEM_PLUS},
    {"BracketLeft", VK_OEM_4}, {"BracketRight", VK_OEM_6}, {"Semicolon", VK_OEM_1},
    {"Quote", VK_OEM_7}, {"Backquote", VK_OEM_3}, {"Backslash", VK_OEM_5},
    {"Comma", VK_OEM_COMMA}, {"Period", VK_OEM_PERIOD}, {"Slash", VK_OEM_2},
    {"ShiftLeft", VK_SHIFT}, {"ShiftRight", VK_SHIFT}, {"ControlLeft", VK_CONTROL},
    {"ControlRight", VK_CONTROL}, {"AltLeft", VK_MENU}, {"AltRight", VK_MENU},
    {"MetaLeft", VK_LWIN}, {"MetaRight", VK_RWIN}, {"OSLeft", VK_LWIN}, {"OSRight", VK_RWIN},
    {"ContextMenu", VK_APPS}, {"CapsLock", VK_CAPITAL}, {"NumLock", VK_NUMLOCK},
    {"ScrollLock", VK_SCROLL}, {"Pause", VK_PAUSE},
    {"Home", VK_HOME}, {"End", VK_END}, {"PageUp", VK_PRIOR}, {"PageDown", VK_NEXT},
    {"ArrowUp", VK_UP}, {"ArrowDown", VK_DOWN}, {"ArrowLeft", VK_LEFT},
    {"ArrowRight", VK_RIGHT}, {"Insert", VK_INSERT}, {"Delete", VK_DELETE},
    {"NumpadMultiply", VK_MULTIPLY}, {"NumpadAdd", VK_ADD}, {"NumpadSubtract", VK_SUBTRACT},
    {"NumpadDivide", VK_DIVIDE}, {"NumpadEnter", VK_RETURN}, {"NumpadDecimal", VK_DECIMAL},
    {"NumpadComma", VK_DECIMAL},
};

// What the keypad's digit keys type with NumLock off.
constexpr NamedKey KEYPAD_CURSOR_KEYS[] = {
    {"Home", VK_HOME}, {"End", VK_END}, {"PageUp", VK_PRIOR}, {"PageDown", VK_NEXT},
    {"ArrowUp", VK_UP}, {"ArrowDown", VK_DOWN}, {"ArrowLeft", VK_LEFT},
    {"ArrowRight", VK_RIGHT}, {"Insert", VK_INSERT}, {"Delete", VK_DELETE},
};

// The cursor block beside the keypad (not the keypad's own cursor keys),
// keypad Enter and slash, the right-hand modifiers and the system keys.
constexpr const char* EXTENDED_CODES[] = {
    "Home", "End", "PageUp", "PageDown", "ArrowUp", "ArrowDown", "ArrowLeft", "ArrowRight",
    "Insert", "Delete", "NumpadEnter", "NumpadDivide", "ControlRight", "AltRight",
    "MetaLeft", "MetaRight", "OSLeft", "OSRight", "ContextMenu", "NumLock",
};

// Named keys that type a character.
struct NamedCharacter {
  const char* name;
  int32_t character;
};
constexpr NamedCharacter TYPING_KEYS[] = {
    {"Enter", 13}, {"Tab", 9}, {"Backspace", 8}, {"Escape", 27},
};

// The unshifted character of a key by its position, as on a US keyboard;
// letters are taken from the layout instead.
constexpr NamedCharacter UNSHIFTED_BY_CODE[] = {
    {"Minus", '-'}, {"Equal", '='}, {"BracketLeft", '['}, {"BracketRight", ']'},
    {"Semicolon", ';'}, {"Quote", '\''}, {"Backquote", '`'}, {"Backslash", '\\'},
    {"Comma", ','}, {"Period", '.'}, {"Slash", '/'}, {"Space", ' '}, {"Enter", 13},
    {"NumpadEnter", 13}, {"Tab", 9}, {"Backspace", 8}, {"Escape", 27},
    {"NumpadMultiply", '*'}, {"NumpadAdd", '+'}, {"NumpadSubtract", '-'},
    {"NumpadDivide", '/'},
};

template <typename Entry, size_t N>
const Entry* Find(const Entry (&table)[N], std::string_view name) {
  for (const Entry& e : table)
    if (name == e.name) return &e;
  return nullptr;
}

// The one code point that text is, or 0 when it is empty, more than one
// character or not UTF-8.
uint32_t SingleCodePoint(std::string_view text) {
  if (text.empty()) return 0;
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  size_t length = b[0] < 0x80 ? 1 : (b[0] >> 5) == 0x6 ? 2 : (b[0] >> 4) == 0xE ? 3
                : (b[0] >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || text.size() != length) return 0;
  uint32_t cp = length == 1 ? b[0] : b[0] & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((b[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b[i] & 0x3F);
  }
  return cp;
}

bool IsAsciiLetter(uint32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// What Ctrl makes of a typed ASCII character, as an X server's key lookup
// does: letters and @ [ \ ] ^ _ become control characters, space and 2
// the character 0, 3 to 7 Escape to 31, 8 Delete, / 31.
int32_t ControlCharacter(uint32_t c) {
  if ((c >= '@' && c < 0x7F) || c == ' ') return int32_t(c & 0x1F);
  if (c == '2') return 0;
  if (c >= '3' && c <= '7') return int32_t(c - '3' + 0x1B);
  if (c == '8') return 0x7F;
  if (c == '/') return 0x1F;
  return int32_t(c);
}

int32_t VirtualKeyOf(std::string_view code, std::string_view key, uint32_t typed) {
  const bool keypadDigit =
      code.size() == 7 && code.substr(0, 6) == "Numpad" && code[6] >= '0' && code[6] <= '9';
  if (keypadDigit || code == "NumpadDecimal") {
    if (const NamedKey* k = Find(KEYPAD_CURSOR_KEYS, key)) return k->virtualKey;
    return keypadDigit ? VK_NUMPAD0 + (code[6] - '0') : int32_t(VK_DECIMAL);
  }
  if (IsAsciiLetter(typed)) return int32_t('A' + ((typed | 0x20) - 'a'));
  if (typed >= '0' && typed <= '9' && code.substr(0, 6) != "Numpad") return int32_t(typed);
  if (code.size() == 4 && code.substr(0, 3) == "Key" && code[3] >= 'A' && code[3] <= 'Z')
    return int32_t(code[3]);
  if (code.size() == 6 && code.substr(0, 5) == "Digit" && code[5] >= '0' && code[5] <= '9')
    return int32_t(code[5]);
  if (code.size() >= 2 && code[0] == 'F' && code[1] >= '1' && code[1] <= '9') {
    int n = 0;
    for (char c : code.substr(1)) {
      if (c < '0' || c > '9') return VK_NONE;
      n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= 12 ? VK_F1 + (n - 1) : VK_NONE;
  }
  if (const NamedKey* k = Find(CODE_KEYS, code)) return k->virtualKey;
  return VK_NONE;
}

}  // namespace

WebKeyEvent TranslateWebKey(std::string_view code, std::string_view key, uint32_t modifiers) {
  WebKeyEvent result{};
  // AltGr types the layout's third characters; it is neither Ctrl nor Alt.
  const bool altGraph = (modifiers & WEB_KEY_ALT_GRAPH) != 0;
  const bool ctrl = !altGraph && (modifiers & WEB_KEY_CTRL) != 0;
  const bool alt = !altGraph && (modifiers & WEB_KEY_ALT) != 0;
  const uint32_t typed = SingleCodePoint(key);
  result.virtualKey = VirtualKeyOf(code, key, typed);
  result.scancode = ScancodeOfVirtualKey(result.virtualKey);

  if (typed != 0) {
    result.character = ctrl && typed < 0x80 ? ControlCharacter(typed) : TypedCharacter(typed);
    result.typed = true;
  } else if (const NamedCharacter* k = Find(TYPING_KEYS, key)) {
    result.character = k->character;
    result.typed = true;
  }

  // The key's unshifted character.
  int32_t own = 0;
  if (IsAsciiLetter(typed)) {
    own = int32_t(typed | 0x20);
  } else if (typed >= 0x80 && !(modifiers & (WEB_KEY_SHIFT | WEB_KEY_CTRL | WEB_KEY_ALT_GRAPH))) {
    own = std::max(Cp437OfUnicode(typed), int32_t(0));
  } else if (code.size() == 6 && code.substr(0, 5) == "Digit") {
    own = code[5];
  } else if (const NamedCharacter* k = Find(UNSHIFTED_BY_CODE, code)) {
    own = k->character;
  }

  uint32_t control = 0;
  if (modifiers & WEB_KEY_SHIFT) control |= CTRL_STATE_SHIFT;
  if (ctrl) control |= CTRL_STATE_LEFT_CTRL;
  if (alt) control |= CTRL_STATE_LEFT_ALT;
  for (const char* c : EXTENDED_CODES)
    if (code == c) control |= CTRL_STATE_EXTENDED;
  result.keyCode = TranslateKey(result.character, result.scancode, control, own);
  result.systemKey = alt || result.virtualKey == VK_MENU || result.virtualKey == VK_F10;
  return result;
}

}  // namespace fb
