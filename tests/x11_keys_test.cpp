// The X11 driver's key-symbol tables: virtual keys, extended keys and the
// characters a symbol types in code page 437.  No display needed.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <fb/platform/drivers/x11.h>
#include <fb/platform/keyboard.h>

using namespace fb;

namespace {

struct SymbolCase {
  uint32_t keysym;
  int32_t virtualKey;
  int scancode;  // through the keyboard map
};

// Scancodes are the set-1 numbers of the keyboard map.
const SymbolCase SYMBOLS[] = {
    {XK_w, 'W', 17},           {XK_W, 'W', 17},           {XK_a, 'A', 30},
    {XK_1, '1', 2},            {XK_0, '0', 11},           {XK_Escape, VK_ESCAPE, 1},
    {XK_space, VK_SPACE, 57},  {XK_Return, VK_RETURN, 28}, {XK_KP_Enter, VK_RETURN, 28},
    {XK_minus, VK_OEM_MINUS, 12}, {XK_equal, VK_OEM_PLUS, 13}, {XK_grave, VK_OEM_3, 41},
    {XK_backslash, VK_OEM_5, 43}, {XK_slash, VK_OEM_2, 53}, {XK_KP_Divide, VK_DIVIDE, 53},
    {XK_Shift_L, VK_SHIFT, 42}, {XK_Shift_R, VK_SHIFT, 42}, {XK_Control_R, VK_CONTROL, 29},
    {XK_Alt_L, VK_MENU, 56},   {XK_ISO_Level3_Shift, VK_MENU, 56},
    {XK_F1, VK_F1, 59},        {XK_F10, VK_F10, 68},      {XK_F11, VK_F11, 87},
    {XK_F12, VK_F12, 88},      {XK_Up, VK_UP, 72},        {XK_Next, VK_NEXT, 81},
    {XK_KP_Home, VK_HOME, 71}, {XK_KP_7, VK_NUMPAD7, 71}, {XK_KP_Decimal, VK_DECIMAL, 83},
    {XK_KP_Delete, VK_DELETE, 83}, {XK_KP_Add, VK_ADD, 78}, {XK_KP_Subtract, VK_SUBTRACT, 12},
    {XK_Super_L, VK_LWIN, 91}, {XK_Super_R, VK_RWIN, 92}, {XK_Menu, VK_APPS, 93},
    {XK_Caps_Lock, VK_CAPITAL, 58}, {XK_Num_Lock, VK_NUMLOCK, 69},
    {XK_eacute, VK_NONE, 0},   {XK_F13, VK_NONE, 0},      {XK_KP_Begin, VK_NONE, 0},
};

TEST(X11Keysyms, MapOntoVirtualKeysAndScancodes) {
  for (const SymbolCase& c : SYMBOLS) {
    SCOPED_TRACE(testing::Message() << "keysym 0x" << std::hex << c.keysym);
    EXPECT_EQ(VirtualKeyOfKeysym(c.keysym), c.virtualKey);
    EXPECT_EQ(ScancodeOfVirtualKey(VirtualKeyOfKeysym(c.keysym)), c.scancode);
  }
}

TEST(X11Keysyms, ExtendedSetIsTheCursorBlockNotTheKeypad) {
  for (uint32_t k : {XK_Up, XK_Home, XK_Delete, XK_Next, XK_KP_Enter, XK_KP_Divide,
                     XK_Control_R, XK_Alt_R})
    EXPECT_TRUE(IsExtendedKeysym(k)) << std::hex << k;
  for (uint32_t k : {XK_KP_Up, XK_KP_Home, XK_KP_Delete, XK_KP_8, XK_Control_L, XK_Alt_L,
                     XK_a, XK_F1, XK_Return})
    EXPECT_FALSE(IsExtendedKeysym(k)) << std::hex << k;
}

TEST(X11Keysyms, TypedCharactersInCodePage437) {
  struct Case {
    uint32_t keysym;
    int32_t cp437;  // the byte typed ('?' when the code page lacks it); 0: types nothing
  };
  const Case cases[] = {
      {XK_a, 'a'},          {XK_A, 'A'},        {XK_asciitilde, '~'},
      {XK_eacute, 0x82},    {XK_Eacute, 0x90},  {XK_ssharp, 0xE1},
      {XK_degree, 0xF8},    {XK_nobreakspace, 0xFF},
      {XK_KP_7, '7'},       {XK_KP_Multiply, '*'}, {XK_KP_Enter, 13},
      {XK_Return, 13},      {XK_BackSpace, 8},  {XK_Tab, 9},
      {XK_ISO_Left_Tab, 9}, {XK_Escape, 27},
      {XK_EuroSign, '?'},   {XK_thorn, '?'},    {0x010003B1, 0xE0},  // Unicode alpha
      {0x01002588, 0xDB},   // full block
      {0x0100263A, '?'},    // a smiling face: in the font, but not a code page character
      // The older sets: the few characters the code page holds, '?' for the rest.
      {XK_Greek_alpha, 0xE0}, {XK_Greek_OMEGA, 0xEA}, {XK_Greek_mu, '?'},
      {XK_Cyrillic_zhe, '?'}, {XK_Cyrillic_ZHE, '?'}, {XK_hebrew_aleph, '?'},
      {0x08d6 /* radical */, 0xFB}, {0x09f8 /* vertbar */, 0xB3},
      {0x09e1 /* checkerboard */, 0xB1}, {0x09ec /* upleftcorner */, 0xDA},
      {XK_F1, 0},           {XK_Up, 0},         {XK_KP_Home, 0},     {XK_Shift_L, 0},
      {XK_dead_acute, 0},   {XK_Multi_key, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "keysym 0x" << std::hex << c.keysym);
    // Character codes hold bytes 128-255 sign-extended.
    EXPECT_EQ(KeysymCharacter(c.keysym), c.cp437 >= 128 ? c.cp437 - 256 : c.cp437);
  }
}

TEST(X11Keysyms, EveryUpperCodePageByteRoundTrips) {
  // Bytes 128..255 are distinct characters: each must map back to itself.
  int found = 0;
  for (uint32_t u = 0x80; u < 0x2600; ++u) {
    const int32_t b = Cp437OfUnicode(u);
    if (b < 0) continue;
    ASSERT_GE(b, 128);
    ++found;
  }
  EXPECT_EQ(found, 128);
}

}  // namespace
