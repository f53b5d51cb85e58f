#include <fb/platform/drivers/x11.h>
#include "probe_platform.h"

namespace fbprobe {

PresentCount PresentCountOfWindow() {
  const fb::X11PresentStats stats = fb::X11Stats();
  return {stats.presents, stats.rows};
}

void OfferOnlyMode(int32_t, int32_t) {}

}  // namespace fbprobe
