// Key events of a web page as the program sees them: the same scancodes,
// typed characters and key codes as a Linux window gives for the key.
#include <gtest/gtest.h>

#include <fb/platform/drivers/canvas.h>
#include <fb/platform/keyboard.h>

namespace {

using namespace fb;

constexpr uint32_t SHIFT = WEB_KEY_SHIFT, CTRL = WEB_KEY_CTRL, ALT = WEB_KEY_ALT,
                   ALT_GR = WEB_KEY_ALT_GRAPH;

struct Case {
  const char* code;  // KeyboardEvent.code
  const char* key;   // KeyboardEvent.key
  uint32_t modifiers;
  int32_t scancode, keyCode, character;
  bool typed, systemKey;
};

// The codes are those of platform/keyboard.h's rules; the layouts are the
// browser's (AZERTY, Russian, German) where the key says which.
const Case CASES[] = {
    {"KeyA", "a", 0, 30, 'a', 'a', true, false},
    {"KeyA", "A", SHIFT, 30, 'A', 'A', true, false},
    {"KeyA", "a", CTRL, 30, 1, 1, true, false},           // Ctrl+A types 1
    {"KeyQ", "a", 0, 30, 'a', 'a', true, false},          // AZERTY: the key that types "a"
    {"Semicolon", "m", 0, 50, 'm', 'm', true, false},     // AZERTY M
    {"KeyQ", "\xD0\xB9", 0, 16, '?', '?', true, false},   // Russian: by position, no CP437 letter
    {"Digit2", "\xC3\xA9", 0, 3, -126, -126, true, false},  // AZERTY é: CP437 0x82
    {"Digit1", "&", 0, 2, '&', '&', true, false},
    {"KeyE", "\xE2\x82\xAC", ALT_GR | CTRL | ALT, 18, '?', '?', true, false},  // AltGr+E: €
    {"Digit7", "{", ALT_GR, 8, '{', '{', true, false},
    {"Space", " ", 0, 57, ' ', ' ', true, false},
    {"Space", " ", CTRL, 57, KEY_NONE, 0, true, false},   // Ctrl+Space types 0
    {"Enter", "Enter", 0, 28, 13, 13, true, false},
    {"NumpadEnter", "Enter", 0, 28, 13, 13, true, false},
    {"Escape", "Escape", 0, 1, 27, 27, true, false},
    {"Tab", "Tab", SHIFT, 15, ExtendedKey(0x0F), 9, true, false},
    {"ArrowUp", "ArrowUp", 0, 72, ExtendedKey(0x48), 0, false, false},
    {"Numpad8", "ArrowUp", 0, 72, ExtendedKey(0x48), 0, false, false},  // NumLock off
    {"Numpad8", "8", 0, 72, '8', '8', true, false},                    // NumLock on
    {"Delete", "Delete", 0, 83, ExtendedKey(0x53), 0, false, false},
    {"NumpadDecimal", "Delete", 0, 83, ExtendedKey(0x53), 0, false, false},
    {"F1", "F1", 0, 59, ExtendedKey(0x3B), 0, false, false},
    {"F1", "F1", SHIFT, 59, ExtendedKey(0x54), 0, false, false},
    {"F10", "F10", 0, 68, ExtendedKey(0x44), 0, false, true},
    {"F4", "F4", ALT, 62, KEY_CLOSE, 0, false, true},     // Alt+F4 is the close key
    {"AltLeft", "Alt", ALT, 56, KEY_NONE, 0, false, true},
    {"ShiftRight", "Shift", SHIFT, 42, KEY_NONE, 0, false, false},
    {"ControlRight", "Control", CTRL, 29, KEY_NONE, 0, false, false},
    {"Minus", "-", 0, 12, '-', '-', true, false},
    {"Backquote", "`", 0, 41, '`', '`', true, false},
    {"IntlBackslash", "<", 0, 0, '<', '<', true, false},  // no scancode of its own
};

TEST(CanvasKeys, PageKeysGiveTheScancodesAndCharactersOfALinuxWindow) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(std::string(c.code) + " \"" + c.key + "\" modifiers " + std::to_string(c.modifiers));
    const WebKeyEvent k = TranslateWebKey(c.code, c.key, c.modifiers);
    EXPECT_EQ(k.scancode, c.scancode);
    EXPECT_EQ(k.keyCode, c.keyCode);
    EXPECT_EQ(k.character, c.character);
    EXPECT_EQ(k.typed, c.typed);
    EXPECT_EQ(k.systemKey, c.systemKey);
  }
}

}  // namespace
