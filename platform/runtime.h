// Runtime support shared by the library: the process-wide last error
// number that the library's operations set (0 success, 1 or a result code
// on failure), 16-byte aligned memory and the program's name.  Any thread.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fb {

int32_t LastError();
void SetLastError(int32_t error);

// 16-byte aligned blocks with their own address kept in the slot before
// them, shared by screen pages and images.  Returns nullptr when bytes
// cannot be had.
void* AllocAligned16(size_t bytes);
void FreeAligned16(void* aligned);

}  // namespace fb

#include <string>
#include <string_view>

namespace fb {

// The program's file name without directory and last extension (at most
// 127 characters); the default window title.  Each platform finds the
// path of its executable.
std::string ProgramName();

// Tells the program's user of a failure, in one line without its end: on
// standard error when the program has somewhere to write it (a console, a
// file, a pipe); otherwise, as for a Windows program started from the
// desktop, in a message box titled with ProgramName, which waits until
// the user closes it.  The library itself never calls it.  Program's
// thread.
void ReportFailure(std::string_view line);

// The name ProgramName gives for an executable's path: what follows the
// last of the separators, without its last extension, at most 127
// characters.
std::string ProgramNameOfPath(std::string_view path, std::string_view separators);

}  // namespace fb
