#include "runtime.h"

#include <atomic>

namespace fb {

namespace {
// Process-wide like the C runtime's errno of old, but any thread may set it;
// relaxed atomics keep concurrent setters well-defined.
std::atomic<int32_t> lastError{0};
}  // namespace

int32_t LastError() { return lastError.load(std::memory_order_relaxed); }
void SetLastError(int32_t error) { lastError.store(error, std::memory_order_relaxed); }

}  // namespace fb
