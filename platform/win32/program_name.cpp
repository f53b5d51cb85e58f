#include <string>

#include "../runtime.h"
#include "win32.h"

namespace fb {

std::string ProgramName() {
  char path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, path, DWORD(sizeof path));
  // 0 is failure; a full buffer means the path was cut short, and its
  // tail (the part that matters) is lost.
  if (n == 0 || n >= sizeof path) return "program";
  return ProgramNameOfPath(std::string_view(path, n), "\\/");
}

}  // namespace fb
