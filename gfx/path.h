// File names as the library's callers write them: '/' and '\' both
// separate directories (the game's names mix the two).  Pure functions,
// any thread.
#pragma once
#include <cstddef>
#include <string>

namespace fb {

// Longest file name the library uses; characters past it are dropped.
constexpr size_t PATH_MAX_CHARS = 259;

// The name with every '/' and '\' rewritten to this platform's directory
// separator, cut to PATH_MAX_CHARS characters.  nullptr gives "".
std::string NativePath(const char* name);

}  // namespace fb
