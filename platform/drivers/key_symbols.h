// Key symbols, the numbering of keys that X11 and xkbcommon (Wayland)
// share: which virtual key a symbol stands for, whether it is an extended
// key, which character it types in code page 437, and what a key message
// described by its symbols puts into the key queue and the event queue.
// The tables are constant, so any thread may call the lookups.
#pragma once
#include <cstdint>

namespace fb {

// The virtual key of a key symbol, or VK_NONE.  Letters of either case
// give 'A'..'Z'; keypad symbols give the keypad or cursor virtual key
// depending on which symbol NumLock selected.
int32_t VirtualKeyOfKeysym(uint32_t keysym);

// Whether a key with this symbol counts as an extended key (the cursor
// block, keypad Enter and slash, the right-hand Ctrl and Alt, ...).
bool IsExtendedKeysym(uint32_t keysym);

// The Unicode character a key symbol types (keypad digits and operators,
// Enter, Tab, Backspace and Escape included), or 0.  Of the older
// character sets (Cyrillic, Greek, ...) only the characters that code page
// 437 holds are known.
uint32_t UnicodeOfKeysym(uint32_t keysym);

// The character code a key symbol puts into the key queue: its code page
// 437 byte (128-255 sign-extended), '?' for a character the code page
// lacks (a euro sign, any Cyrillic letter), or 0 when it types nothing.
int32_t KeysymCharacter(uint32_t keysym);

// A key press, repeat or release as a window system reports it.
struct SymbolKeyMessage {
  bool press;     // false: a release
  bool repeat;    // a press of a key that is already down
  uint32_t symbol;     // the key's symbol with the modifiers applied
  uint32_t unshifted;  // its symbol on the first level of its layout
  // The virtual key its key code stands for in the keyboard's map, for a
  // key whose symbols name none (VK_NONE when unknown either).
  int32_t mappedKey;
  // The ASCII character (control characters included) the system's own
  // lookup typed, or -1: Ctrl+C types 3 there, which no symbol says.
  int32_t lookupText;
  bool shift, ctrl, alt;
};

// Handles a key message on the window thread, under the display lock:
// puts what it types into the key queue and posts its window event, with
// the same rules as a Win32 window (system keys with Alt held, F10 and
// Alt swallowed, Alt+F4 nothing).  Returns true for the press of Alt+Enter,
// which switches between a window and full screen.
bool HandleSymbolKey(const SymbolKeyMessage& key);

// The virtual key a key message is sampled as in the key-state table.
int32_t VirtualKeyOfMessage(const SymbolKeyMessage& key);

}  // namespace fb
