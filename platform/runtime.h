// Runtime support shared by the library: the process-wide last error
// number that the library's operations set (0 success, 1 or a result code
// on failure).
#pragma once
#include <cstdint>

namespace fb {

int32_t LastError();
void SetLastError(int32_t error);

}  // namespace fb

#include <string>

namespace fb {

// The program's file name without directory and last extension (at most
// 127 characters); the default window title.
std::string ProgramName();

}  // namespace fb
