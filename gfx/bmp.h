// Loading Windows bitmap files (and two raw dump formats) into an image or
// onto the screen, converting every pixel to the target's depth.
// Program's thread; takes the screen lock while it writes pixels.
#pragma once
#include <cstdint>

#include "image.h"

namespace fb {

enum class BmpResult : int32_t {
  Loaded = 0,
  BadCall = 1,      // no screen and no image, or > 8 bits per pixel into 1 byte
  CannotOpen = 2,   // the file can't be opened
  Unsupported = 3,  // not a supported file, or the file ends early
};

// Reads fileName ('/' and '\' both separate directories) into image
// (nullptr = the screen).  Copies the smaller of the image's and the file's
// width and height.  palette, when given, receives the file's palette as
// 256 entries of 6-bit components 0x00BBGGRR; otherwise the palette goes
// into the screen's colour map and to the driver.  A truncated file keeps
// the rows read so far and returns Unsupported.
BmpResult LoadBmp(const char* fileName, Image* image, uint32_t* palette);

}  // namespace fb
