#include <unistd.h>

#include <string>

#include "../runtime.h"

namespace fb {

std::string ProgramName() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "program";
  return ProgramNameOfPath(std::string_view(path, size_t(n)), "/");
}

}  // namespace fb
