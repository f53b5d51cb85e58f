// <windows.h> for the Win32 platform files, made to live beside the
// library's own headers.  Include it last, after every library header:
//   - the key constants of platform/keyboard.h (VK_SHIFT, ...) are the
//     names of <windows.h>'s macros; declared first, the enumeration keeps
//     them, and the macros that follow expand to the same values;
//   - DrawText is a macro for DrawTextA, which would rename the library's
//     own DrawText in every file that sees both;
//   - Sleep and SetLastError exist in both: inside namespace fb the
//     library's versions hide the system's, so Win32 files name the
//     system's ::Sleep and ::SetLastError explicitly.
// Only files under platform/win32/ and platform/drivers/win32_* include it.
#pragma once

#include "../keyboard.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DrawText
