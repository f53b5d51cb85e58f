#include <fb/platform/win32/window.h>
#include "probe_platform.h"

namespace fbprobe {

PresentCount PresentCountOfWindow() {
  const fb::win32::PresentStats stats = fb::win32::CurrentPresentStats();
  return {stats.presents, stats.rows};
}

}  // namespace fbprobe
