#include <fb/platform/drivers/win32_directx.h>
#include <fb/platform/win32/window.h>
#include "probe_platform.h"

namespace fbprobe {

PresentCount PresentCountOfWindow() {
  const fb::win32::PresentStats stats = fb::win32::CurrentPresentStats();
  return {stats.presents, stats.rows};
}

void OfferOnlyMode(int32_t width, int32_t height) {
  fb::DirectXOfferModes({{width, height, 32}, {width, height, 24}});
}

}  // namespace fbprobe
