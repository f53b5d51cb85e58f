// Sprite loading: a Windows bitmap file into a new image of exactly the
// bitmap's size, read from the file's own header.  Needs an open screen
// (CreateImage takes its depth).  LoadIMGFile prints nothing and never
// ends the program: callers report a missing picture in their own words;
// LoadGamePicture adds the line on standard error that the game prints
// for each of its pictures.  Program's thread.
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

// What became of a picture.  Every result but Loaded and Unreadable comes
// without an image.
enum class SpriteLoad {
  Loaded,
  NoSuchFile,
  NoPermission,
  CannotOpen,    // for another reason
  NotABitmap,    // no "BM", or the file ends before its size fields
  UnusableSize,  // 0, negative (a top-down file) or too large
  NoScreen,
  NoMemory,
  Unreadable,    // the loader rejected the pixels: the image stays transparent
};

// The words for a result, to follow "cannot load <file>: ", such as
// "no such file".
const char* SpriteLoadText(SpriteLoad result);

// A new image of the bitmap's size at the screen's depth, filled with the
// transparent colour and then with the picture.  nullptr when the file
// can't be read, its size is unusable, no screen is open or memory is
// short.  A picture the loader rejects still gives the image, all
// transparent.  result (may be null) receives what happened.
fb::Image* LoadIMGFile(const std::string& fileName, SpriteLoad* result = nullptr);

// LoadIMGFile for the game's own pictures: unless the picture loaded
// whole, one line on standard error names the file (with this platform's
// separators) and the reason: "shooter: cannot load imgs/reload.bmp: no
// such file".  What the game does next is the caller's business.  The
// game only ever puts its pictures, so each keeps its sprite runs
// (fb::KeepSpriteRuns); one that cannot is put the ordinary way.
fb::Image* LoadGamePicture(const std::string& fileName);

}  // namespace shooter
