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
#include "../driver_support.h"  // WindowScale
#include "../keyboard.h"
#include "key_symbols.h"  // the key-symbol lookups X11 and Wayland share

namespace fb {

extern const DisplayDriver X11_DRIVER;

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
