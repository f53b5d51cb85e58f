#include <unistd.h>

#include <string>

#include "../runtime.h"

namespace fb {

std::string ProgramName() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string name = n > 0 ? std::string(path, size_t(n)) : std::string("program");
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  if (name.size() > 127) name.resize(127);
  return name;
}

}  // namespace fb
