// Key symbols of the X11 driver: which virtual key a symbol stands for,
// whether it is an extended key, and which character it types in code
// page 437.  Constant tables only, so any thread may call these.
#include <X11/keysym.h>

#include <array>

#include "platform/drivers/x11.h"
#include "platform/keyboard.h"

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
};

// Unicode code points of code page 437 bytes 128..255.
constexpr uint16_t CP437_HIGH[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

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

int32_t Cp437OfUnicode(uint32_t codePoint) {
  if (codePoint < 0x80) return int32_t(codePoint);
  for (int i = 0; i < 128; ++i)
    if (CP437_HIGH[i] == codePoint) return 128 + i;
  return -1;
}

}  // namespace fb
