#include "runtime.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace fb {

namespace {
// Process-wide like the C runtime's errno of old, but any thread may set it;
// relaxed atomics keep concurrent setters well-defined.
std::atomic<int32_t> lastError{0};
}  // namespace

int32_t LastError() { return lastError.load(std::memory_order_relaxed); }
void SetLastError(int32_t error) { lastError.store(error, std::memory_order_relaxed); }

void* AllocAligned16(size_t bytes) {
  // Room for the block's address and for moving the start to 16 bytes.
  constexpr size_t extra = sizeof(void*) + 15;
  if (bytes > SIZE_MAX - extra) return nullptr;
  void* block = std::malloc(bytes + extra);
  if (!block) return nullptr;
  uintptr_t start = (reinterpret_cast<uintptr_t>(block) + sizeof(void*) + 15) & ~uintptr_t(15);
  reinterpret_cast<void**>(start)[-1] = block;
  return reinterpret_cast<void*>(start);
}

void FreeAligned16(void* aligned) {
  if (aligned) std::free(reinterpret_cast<void**>(aligned)[-1]);
}

std::string ProgramNameOfPath(std::string_view path, std::string_view separators) {
  const size_t slash = path.find_last_of(separators);
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  // A leading dot starts a hidden name, not an extension.
  const size_t dot = path.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
  return std::string(path.substr(0, 127));
}

}  // namespace fb
