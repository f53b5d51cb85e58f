// Sprite loading: a Windows bitmap file into a new image of exactly the
// bitmap's size, read from the file's own header.  Needs an open screen
// (CreateImage takes its depth).  Prints nothing and never ends the
// program: callers report a missing picture in their own words.
// Program's thread.
#pragma once
#include <cstdint>
#include <string>

#include <fb/gfx/image.h>

namespace shooter {

struct BmpSize {
  int32_t width;
  int32_t height;
};

// Width and height from the header of a bitmap file; both 0 when the file
// can't be opened, does not begin with "BM" or ends before its size
// fields.  '/' and '\' both separate directories in fileName.
BmpSize ReadBmpSize(const std::string& fileName);

// A new image of the bitmap's size at the screen's depth, filled with the
// transparent colour and then with the picture.  nullptr when the size is
// unusable (0, negative for a top-down file, too large), no screen is
// open or memory is short.  A picture the loader rejects still gives the
// image, all transparent.
fb::Image* LoadIMGFile(const std::string& fileName);

}  // namespace shooter
