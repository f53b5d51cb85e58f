#include "keys.h"

#include "../keyboard.h"
#include "../screen.h"
#include "win32.h"

namespace fb::win32 {

namespace {

// MapVirtualKey marks dead keys in its top bit.
constexpr UINT DEAD_KEY_BIT = 0x80000000u;

int32_t Cp437OrZero(uint32_t codePoint) {
  const int32_t byte = Cp437OfUnicode(codePoint);
  return byte < 0 ? 0 : byte;
}

bool Held(const BYTE* keyboardState, int virtualKey) {
  return (keyboardState[virtualKey] & 0x80) != 0;
}

}  // namespace

int32_t UnshiftedCharacter(UINT virtualKey) {
  const UINT mapped = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_CHAR);
  return Cp437OrZero(mapped & ~DEAD_KEY_BIT & 0xFFFFu);
}

uint32_t ControlStateOf(const BYTE* keyboardState, bool extended) {
  uint32_t control = 0;
  if (Held(keyboardState, VK_SHIFT)) control |= CTRL_STATE_SHIFT;
  // The left/right keys are not filled in everywhere; the generic one
  // then stands for the left.
  if (Held(keyboardState, VK_RCONTROL)) control |= CTRL_STATE_RIGHT_CTRL;
  if (Held(keyboardState, VK_LCONTROL) ||
      (Held(keyboardState, VK_CONTROL) && !Held(keyboardState, VK_RCONTROL)))
    control |= CTRL_STATE_LEFT_CTRL;
  if (Held(keyboardState, VK_RMENU)) control |= CTRL_STATE_RIGHT_ALT;
  if (Held(keyboardState, VK_LMENU) ||
      (Held(keyboardState, VK_MENU) && !Held(keyboardState, VK_RMENU)))
    control |= CTRL_STATE_LEFT_ALT;
  if (extended) control |= CTRL_STATE_EXTENDED;
  return control;
}

int32_t TypedCharacter(UINT virtualKey, UINT scancode, const BYTE* keyboardState) {
  if (MapVirtualKeyW(virtualKey, MAPVK_VK_TO_CHAR) & DEAD_KEY_BIT) return 0;
  WCHAR text[4];
  const int count = ToUnicode(virtualKey, scancode, keyboardState, text, 4, 0);
  return count == 1 ? Cp437OrZero(text[0]) : 0;
}

void SampleThreadKeyboard(uint8_t* keyState) {
  BYTE state[256];
  if (!GetKeyboardState(state)) return;  // the table keeps what it had
  uint8_t held[256];
  for (int i = 0; i < 256; ++i) held[i] = state[i] & 0x80;
  SampleKeyState(keyState, held);
}

}  // namespace fb::win32
