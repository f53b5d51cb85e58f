// The default palette of 8-bit screens.
#pragma once
#include <cstdint>

namespace fb {

// 256 entries of red, green, blue bytes.
const uint8_t* DefaultPaletteRgb();

}  // namespace fb
