// A log of the drawing calls a test makes through the code under test.
// The test executable is linked with --wrap for the drawing operations
// below (tests/CMakeLists.txt), so that every call to one of
// them passes through a recorder first and then on to the library
// unchanged.  Calls the library makes from inside one of them are not
// logged.  Program's thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <fb/gfx/blit.h>
#include <fb/gfx/color.h>
#include <fb/gfx/image.h>

namespace drawlog {

// DotRun: the start of a run of dots (BeginDots), whose dots are drawn
// inline and so are not seen one by one.
enum class Op { PutImage, DrawText, DrawLine, SetPixel, DrawCircle, DotRun };

struct Call {
  Op op;
  const fb::Image* target;  // nullptr: the screen
  float x, y;               // the (first) point
  float x2, y2;             // DrawLine's second point
  fb::Color colour;
  int32_t coordFlags;
  const fb::Image* image;  // PutImage
  int32_t alpha;           // PutImage
  int32_t boxMode;         // DrawLine
  std::string text;        // DrawText
  int32_t lockCount;       // the screen's lock count when the call came
};

// Starts a fresh log; calls are logged until Stop, which hands them over.
void Start();
std::vector<Call> Stop();

}  // namespace drawlog
