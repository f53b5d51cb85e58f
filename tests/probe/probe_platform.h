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

}  // namespace fbprobe
