// Win32 key sources in the library's terms: control-key state, the
// character a key types, the key-state table.  Shared by the window
// procedure and the console.  Any thread; the keyboard state read is the
// calling thread's.
#pragma once
#include <cstdint>

#include "win32.h"

namespace fb::win32 {

// The unshifted character of a virtual key as code page 437 (letters in
// capitals), or 0 when the key types none or a character the code page
// lacks.  Dead keys give their accent.
int32_t UnshiftedCharacter(UINT virtualKey);

// The control-key state (CTRL_STATE_*) of a key message from the thread's
// keyboard state; extended is bit 24 of the message's key data.
uint32_t ControlStateOf(const BYTE* keyboardState, bool extended);

// The code page 437 character that a key message types, or 0: none for
// dead keys (looking would consume the accent) and when the system's
// translation gives other than exactly one character.
int32_t TypedCharacter(UINT virtualKey, UINT scancode, const BYTE* keyboardState);

// Fills the 128-byte key-state table from the calling thread's keyboard
// state, through the keyboard map.
void SampleThreadKeyboard(uint8_t* keyState);

}  // namespace fb::win32
