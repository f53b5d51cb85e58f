// Key symbols, shared by the X11 and Wayland drivers: which virtual key a
// symbol stands for, whether it is an extended key, which character it
// types in code page 437, and what a key message puts into the queues.
// The technical, special and publishing symbols hold a few characters of
// code page 437 (box drawing, integrals); Xlib leaves them out by default.
#define XK_TECHNICAL
#define XK_SPECIAL
#define XK_PUBLISHING
#include <X11/keysym.h>

#include <array>

#include "key_symbols.h"
#include "../events.h"
#include "../keyboard.h"

namespace fb {

namespace {

struct KeysymKey {
  uint32_t keysym;
  int32_t virtualKey;
};

// Symbols outside the letter and digit ranges.  Keypad symbols come in two
// sets: with NumLock off the key reports a cursor symbol (KP_Home) and
// counts as that cursor key, with NumLock on a digit (KP_7).
constexpr KeysymKey KEYSYM_KEYS[] = {
    {XK_space, VK_SPACE}, {XK_Escape, VK_ESCAPE}, {XK_Return, VK_RETURN},
    {XK_BackSpace, VK_BACK}, {XK_Tab, VK_TAB}, {XK_ISO_Left_Tab, VK_TAB},
    {XK_minus, VK_OEM_MINUS}, {XK_equal, VK_OEM_PLUS}, {XK_bracketleft, VK_OEM_4},
    {XK_bracketright, VK_OEM_6}, {XK_semicolon, VK_OEM_1}, {XK_apostrophe, VK_OEM_7},
    {XK_grave, VK_OEM_3}, {XK_backslash, VK_OEM_5}, {XK_comma, VK_OEM_COMMA},
    {XK_period, VK_OEM_PERIOD}, {XK_slash, VK_OEM_2},
    {XK_Shift_L, VK_SHIFT}, {XK_Shift_R, VK_SHIFT},
    {XK_Control_L, VK_CONTROL}, {XK_Control_R, VK_CONTROL},
    {XK_Alt_L, VK_MENU}, {XK_Alt_R, VK_MENU}, {XK_Meta_L, VK_MENU}, {XK_Meta_R, VK_MENU},
    {XK_ISO_Level3_Shift, VK_MENU},
    {XK_Super_L, VK_LWIN}, {XK_Super_R, VK_RWIN}, {XK_Menu, VK_APPS},
    {XK_Caps_Lock, VK_CAPITAL}, {XK_Num_Lock, VK_NUMLOCK}, {XK_Scroll_Lock, VK_SCROLL},
    {XK_Pause, VK_PAUSE},
    {XK_Home, VK_HOME}, {XK_End, VK_END}, {XK_Prior, VK_PRIOR}, {XK_Next, VK_NEXT},
    {XK_Up, VK_UP}, {XK_Down, VK_DOWN}, {XK_Left, VK_LEFT}, {XK_Right, VK_RIGHT},
    {XK_Insert, VK_INSERT}, {XK_Delete, VK_DELETE},
    {XK_KP_Home, VK_HOME}, {XK_KP_End, VK_END}, {XK_KP_Prior, VK_PRIOR},
    {XK_KP_Next, VK_NEXT}, {XK_KP_Up, VK_UP}, {XK_KP_Down, VK_DOWN},
    {XK_KP_Left, VK_LEFT}, {XK_KP_Right, VK_RIGHT}, {XK_KP_Insert, VK_INSERT},
    {XK_KP_Delete, VK_DELETE},
    {XK_KP_Decimal, VK_DECIMAL}, {XK_KP_Separator, VK_DECIMAL},
    {XK_KP_Multiply, VK_MULTIPLY}, {XK_KP_Add, VK_ADD}, {XK_KP_Subtract, VK_SUBTRACT},
    {XK_KP_Divide, VK_DIVIDE}, {XK_KP_Enter, VK_RETURN},
};

// Extended keys: the cursor block beside the keypad (not the keypad's own
// cursor symbols), keypad Enter and slash, the right-hand modifiers and
// the system keys.
constexpr uint32_t EXTENDED_KEYSYMS[] = {
    XK_Home, XK_End, XK_Prior, XK_Next, XK_Up, XK_Down, XK_Left, XK_Right,
    XK_Insert, XK_Delete, XK_KP_Enter, XK_KP_Divide, XK_Control_R, XK_Alt_R,
    XK_ISO_Level3_Shift, XK_Super_L, XK_Super_R, XK_Menu, XK_Num_Lock,
};

struct KeysymChar {
  uint32_t keysym;
  uint32_t character;
};
constexpr KeysymChar KEYSYM_CHARS[] = {
    {XK_BackSpace, 8}, {XK_Tab, 9}, {XK_ISO_Left_Tab, 9}, {XK_Return, 13},
    {XK_KP_Enter, 13}, {XK_Escape, 27}, {XK_KP_Space, ' '}, {XK_KP_Tab, 9},
    {XK_KP_Multiply, '*'}, {XK_KP_Add, '+'}, {XK_KP_Separator, ','},
    {XK_KP_Subtract, '-'}, {XK_KP_Decimal, '.'}, {XK_KP_Divide, '/'}, {XK_KP_Equal, '='},
    {XK_EuroSign, 0x20AC},
    // Symbols of the older character sets that code page 437 holds; the
    // rest of those sets type '?' (see KeysymCharacter).
    {XK_Greek_alpha, 0x03B1}, {XK_Greek_GAMMA, 0x0393}, {XK_Greek_pi, 0x03C0},
    {XK_Greek_SIGMA, 0x03A3}, {XK_Greek_sigma, 0x03C3}, {XK_Greek_tau, 0x03C4},
    {XK_Greek_PHI, 0x03A6}, {XK_Greek_THETA, 0x0398}, {XK_Greek_OMEGA, 0x03A9},
    {XK_Greek_delta, 0x03B4}, {XK_Greek_phi, 0x03C6}, {XK_Greek_epsilon, 0x03B5},
    {XK_topintegral, 0x2320}, {XK_botintegral, 0x2321}, {XK_lessthanequal, 0x2264},
    {XK_greaterthanequal, 0x2265}, {XK_infinity, 0x221E}, {XK_identical, 0x2261},
    {XK_radical, 0x221A}, {XK_intersection, 0x2229}, {XK_function, 0x0192},
    {XK_horizconnector, 0x2500}, {XK_vertconnector, 0x2502},
    {XK_checkerboard, 0x2592}, {XK_lowrightcorner, 0x2518}, {XK_uprightcorner, 0x2510},
    {XK_upleftcorner, 0x250C}, {XK_lowleftcorner, 0x2514}, {XK_crossinglines, 0x253C},
    {XK_horizlinescan5, 0x2500}, {XK_leftt, 0x251C}, {XK_rightt, 0x2524},
    {XK_bott, 0x2534}, {XK_topt, 0x252C}, {XK_vertbar, 0x2502},
};

// The older character sets (Latin 2 to 4 and 9, Kana, Arabic, Cyrillic,
// Greek, technical, special, publishing, APL, Hebrew, Thai, Korean,
// currency): every symbol in this range stands for a character.
constexpr uint32_t LEGACY_CHARACTERS_FIRST = 0x0100, LEGACY_CHARACTERS_LAST = 0x20FF;

}  // namespace

int32_t VirtualKeyOfKeysym(uint32_t keysym) {
  if (keysym >= XK_a && keysym <= XK_z) return int32_t('A' + (keysym - XK_a));
  if (keysym >= XK_A && keysym <= XK_Z) return int32_t('A' + (keysym - XK_A));
  if (keysym >= XK_0 && keysym <= XK_9) return int32_t('0' + (keysym - XK_0));
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return int32_t(VK_NUMPAD0 + (keysym - XK_KP_0));
  if (keysym >= XK_F1 && keysym <= XK_F12) return int32_t(VK_F1 + (keysym - XK_F1));
  for (const KeysymKey& k : KEYSYM_KEYS)
    if (k.keysym == keysym) return k.virtualKey;
  return VK_NONE;
}

bool IsExtendedKeysym(uint32_t keysym) {
  for (uint32_t k : EXTENDED_KEYSYMS)
    if (k == keysym) return true;
  return false;
}

uint32_t UnicodeOfKeysym(uint32_t keysym) {
  // Latin-1 symbols are their own code points; newer symbols carry the
  // code point in their low 24 bits.
  if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) return keysym;
  if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) return keysym - 0x01000000;
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return '0' + (keysym - XK_KP_0);
  for (const KeysymChar& k : KEYSYM_CHARS)
    if (k.keysym == keysym) return k.character;
  return 0;
}

int32_t KeysymCharacter(uint32_t keysym) {
  if (const uint32_t unicode = UnicodeOfKeysym(keysym)) return TypedCharacter(unicode);
  return keysym >= LEGACY_CHARACTERS_FIRST && keysym <= LEGACY_CHARACTERS_LAST ? '?' : 0;
}

int32_t VirtualKeyOfMessage(const SymbolKeyMessage& key) {
  // Keypad keys follow NumLock (Home or 7); the others are named by their
  // unshifted symbol, so Shift+1 is still the key "1".  A key whose symbol
  // names no virtual key (é on a French "2") keeps the one it samples as.
  const bool keypad = key.unshifted >= XK_KP_Space && key.unshifted <= XK_KP_Equal;
  const int32_t virtualKey = VirtualKeyOfKeysym(keypad ? key.symbol : key.unshifted);
  return virtualKey != VK_NONE ? virtualKey : key.mappedKey;
}

bool HandleSymbolKey(const SymbolKeyMessage& key) {
  const int32_t virtualKey = VirtualKeyOfMessage(key);
  const int scancode = ScancodeOfVirtualKey(virtualKey);

  uint32_t control = 0;
  if (key.shift) control |= CTRL_STATE_SHIFT;
  if (key.ctrl) control |= CTRL_STATE_LEFT_CTRL;
  if (key.alt) control |= CTRL_STATE_LEFT_ALT;
  if (IsExtendedKeysym(key.symbol) || IsExtendedKeysym(key.unshifted))
    control |= CTRL_STATE_EXTENDED;

  // The typed character, as code page 437: control characters (Ctrl+letter)
  // come from the lookup's text, everything else from the symbol.  The
  // function and keypad symbols (0xFF00 up) type only what the symbol
  // table says: the lookup would give Delete the character 127.
  int32_t character = 0;
  bool typed = false;  // Ctrl+Space types the character 0
  const bool functionKey = key.symbol >= 0xFF00 && key.symbol <= 0xFFFF;
  if (!functionKey && key.lookupText >= 0 && key.lookupText < 0x80) {
    character = key.lookupText;
    typed = true;
  } else {
    character = KeysymCharacter(key.symbol);
    typed = character != 0;
  }
  int32_t own = Cp437OfUnicode(UnicodeOfKeysym(key.unshifted));
  if (own < 0) own = 0;
  const int32_t code = TranslateKey(character, scancode, control, own);

  // Keys pressed with Alt held, Alt itself and F10 are system keys: they
  // give a release-kind event and nothing in the key queue.
  const bool systemKey = key.alt || virtualKey == VK_MENU || virtualKey == VK_F10;
  int32_t kind = EVENT_KEY_RELEASE;
  if (key.press && !systemKey) {
    kind = key.repeat ? EVENT_KEY_REPEAT : EVENT_KEY_PRESS;
    if (code > 255) PutKey(code);
    if (typed) PutKey(character);
  }
  const bool switchScreen = key.press && !key.repeat && key.alt && virtualKey == VK_RETURN;

  // F10, Alt and Alt+F4 are swallowed whole: no event.
  if (virtualKey == VK_F10 || virtualKey == VK_MENU || code == KEY_CLOSE) return switchScreen;
  const int32_t eventCharacter = uint32_t(code) <= 255 ? code : 0;
  PostEvent(kind, scancode, eventCharacter);
  return switchScreen;
}

}  // namespace fb
