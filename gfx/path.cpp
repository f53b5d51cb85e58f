#include "path.h"

#include <filesystem>

namespace fb {

std::string NativePath(const char* name) {
  if (!name) return {};
  // The standard library knows the platform's preferred separator, so no
  // platform test is needed here.
  constexpr char separator = char(std::filesystem::path::preferred_separator);
  std::string path;
  for (size_t i = 0; i < PATH_MAX_CHARS && name[i] != '\0'; ++i) {
    char c = name[i];
    path.push_back(c == '/' || c == '\\' ? separator : c);
  }
  return path;
}

}  // namespace fb
