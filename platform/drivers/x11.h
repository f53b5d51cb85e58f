// The "X11" display driver: an X11 window owned by the window thread,
// which presents the dirty band of the framebuffer (through MIT-SHM when
// the server offers it), samples the keyboard and turns X events into key
// codes and window events.  The driver's operations run on the program's
// thread, and use the window's connection from there only under the
// display lock.  The display lock is held only to copy rows out of the
// framebuffer; converting, scaling and sending them happen after it.
//
// Keys are mapped through their key symbols, not their hardware codes:
// scancode 30 is whichever key types "a" in the current layout.
#pragma once
#include <cstdint>

#include "../driver.h"
#include "../keyboard.h"

namespace fb {

extern const DisplayDriver X11_DRIVER;

// --- Key symbols (pure tables; any thread) ---

// The virtual key of an X key symbol, or VK_NONE.  Letters of either case
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

// --- Window scale (pure; any thread) ---

// The window shows each framebuffer pixel as a scale x scale block.
// setting is FB_SCALE (may be null): a whole number from 1 up is taken as
// it is (Taken) unless the picture would not fit on the screen; then the
// largest scale that fits is used (Capped).  Anything else (Unusable, or
// Unset when null or empty) chooses from the screen: one step per full
// 1920 x 1080 the screen holds in both directions (a 3840 x 2160 screen
// gives 2), no more than lets the picture fit.  Always at least 1, at
// most 16, and the picture within 16384 pixels a side.  verdict (may be
// null) receives what became of the setting.
int32_t WindowScale(const char* setting, int32_t screenWidth, int32_t screenHeight,
                    int32_t width, int32_t height, SettingVerdict* verdict = nullptr);

// --- Test and benchmark hooks (program thread) ---

// Whether the next Init may use MIT-SHM (default true).  false forces the
// plain XPutImage path even when the server offers shared memory.
void X11AllowShm(bool allow);

// Whether the open window presents through shared memory.
bool X11UsingShm();

// The X window id of the open window (0 when none).
unsigned long X11WindowId();

struct X11PresentStats {
  int64_t presents;  // image copies sent to the server
  int64_t rows;      // framebuffer rows they carried
};
// Counters of the open window, read under the display lock.
X11PresentStats X11Stats();

// Presents rows first..last now, under the display lock, and waits until
// the server has processed the copy.  false when no X11 window is open or
// the range is empty or outside the screen.
bool X11PresentNow(int32_t firstRow, int32_t lastRow);

}  // namespace fb
