// The input side of the window procedure (window.cpp): key, character,
// focus and mouse messages into the key queue, the key-state table and the
// event queue.  Window thread only.
#pragma once
#include "../screen.h"
#include "window.h"
#include "win32.h"

namespace fb::win32 {

// WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP.  Returns true when the
// message is consumed (F10, Alt, Alt+F4): no event, no default handling.
bool HandleKeyMessage(UINT message, WPARAM wParam, LPARAM lParam);

// WM_CHAR: the character, from the system's code page, into the key queue
// as code page 437, once per repeat.
void HandleCharMessage(WPARAM wParam, LPARAM lParam);

// WM_ACTIVATE: the window gained (active) or lost the focus.
void HandleActivation(Win32Window& w, ScreenContext& screen, bool active);

// Mouse messages; false for any other message.
bool HandleMouseMessage(Win32Window& w, UINT message, WPARAM wParam, LPARAM lParam);

// Confines the cursor to the client area, or frees it.
void ClipCursorTo(Win32Window& w, bool clip);

}  // namespace fb::win32
