// What the driver probe asks of the platform it runs on.
#pragma once
#include <cstdint>

namespace fbprobe {

struct PresentCount {
  int64_t presents;  // copies of a band of rows to the window
  int64_t rows;      // rows they carried
};
// The counters of the open window's driver.
PresentCount PresentCountOfWindow();

// Makes the drivers that pick a full-screen mode from the display's list
// see the display offer width x height alone, at 32 and 24 bits ("DirectX";
// the others change no mode or only the one asked for).
void OfferOnlyMode(int32_t width, int32_t height);

}  // namespace fbprobe
