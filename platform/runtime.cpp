#include "platform/runtime.h"

#include <atomic>

namespace fb {

namespace {
// Process-wide like the C runtime's errno of old, but any thread may set it;
// relaxed atomics keep concurrent setters well-defined.
std::atomic<int32_t> lastError{0};
}  // namespace

int32_t LastError() { return lastError.load(std::memory_order_relaxed); }
void SetLastError(int32_t error) { lastError.store(error, std::memory_order_relaxed); }

std::string ProgramNameOfPath(std::string_view path, std::string_view separators) {
  const size_t slash = path.find_last_of(separators);
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  // A leading dot starts a hidden name, not an extension.
  const size_t dot = path.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
  return std::string(path.substr(0, 127));
}

}  // namespace fb
