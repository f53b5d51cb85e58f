#include <cstdio>
#include <string_view>

#include "../runtime.h"

namespace fb {

// A POSIX program always has its standard error, even when it leads
// nowhere.
void ReportFailure(std::string_view line) {
  std::fprintf(stderr, "%.*s\n", int(line.size()), line.data());
}

}  // namespace fb
