#include <string>
#include <string_view>

#include "../runtime.h"
#include "win32.h"

namespace fb {

// A program of the GUI subsystem has standard handles only when whoever
// started it gave some (a console's, a redirection's); from the desktop it
// has none, and a line written there would be lost.  The line is written
// to the handle itself, so that what is judged usable is what is used.
void ReportFailure(std::string_view line) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error && error != INVALID_HANDLE_VALUE && GetFileType(error) != FILE_TYPE_UNKNOWN) {
    const std::string text = std::string(line) + "\r\n";  // as the C runtime ends lines
    DWORD written = 0;
    WriteFile(error, text.data(), DWORD(text.size()), &written, nullptr);
    return;
  }
  MessageBoxA(nullptr, std::string(line).c_str(), ProgramName().c_str(),
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace fb
