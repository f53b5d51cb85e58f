// The recorder behind game_draw_log.h.  Each wrapper carries the linker's
// names for the wrapped operation (--wrap=SYMBOL sends calls of SYMBOL to
// __wrap_SYMBOL, and __real_SYMBOL reaches the original); the symbols are
// the mangled names of the fb:: operations, listed again in
// tests/CMakeLists.txt.
#include "game_draw_log.h"

#include <utility>

#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>
#include <fb/platform/screen.h>

namespace drawlog {

namespace {

bool logging = false;
int depth = 0;  // > 0 while a logged call runs
std::vector<Call> calls;

void Log(Call call) {
  if (!logging || depth > 0) return;
  call.lockCount = fb::Screen() ? fb::Screen()->lockCount : 0;
  calls.push_back(std::move(call));
}

// Held for the length of a forwarded call.
struct Inside {
  Inside() { ++depth; }
  ~Inside() { --depth; }
};

}  // namespace

void Start() {
  calls.clear();
  logging = true;
}

std::vector<Call> Stop() {
  logging = false;
  return std::move(calls);
}

}  // namespace drawlog

using drawlog::Call;
using drawlog::Inside;
using drawlog::Log;
using drawlog::Op;

#define FB_PUT_IMAGE "_ZN2fb8PutImageEPNS_5ImageEffS1_iiiiiNS_7PutModeEiii"
#define FB_DRAW_TEXT "_ZN2fb8DrawTextEPNS_5ImageEffiPKcjS1_iiii"
#define FB_DRAW_LINE "_ZN2fb8DrawLineEPNS_5ImageEffffjiii"
#define FB_SET_PIXEL "_ZN2fb8SetPixelEPNS_5ImageEffjii"
// DrawCircle draws a dot under a lock the caller holds inline, in the
// caller, and calls its out-of-line part for everything else; the game
// draws its dots through a DotRun, which BeginDots logs.
#define FB_DRAW_CIRCLE "_ZN2fb19DrawCircleOutOfLineEPNS_5ImageEfffjfffii"
#define FB_BEGIN_DOTS "_ZN2fb9BeginDotsEPNS_5ImageE"

int32_t RealPutImage(fb::Image*, float, float, fb::Image*, int32_t, int32_t, int32_t, int32_t,
                     int32_t, fb::PutMode, int32_t, int32_t, int32_t) asm("__real_" FB_PUT_IMAGE);
int32_t RealDrawText(fb::Image*, float, float, int32_t, const char*, fb::Color, fb::Image*,
                     int32_t, int32_t, int32_t, int32_t) asm("__real_" FB_DRAW_TEXT);
void RealDrawLine(fb::Image*, float, float, float, float, fb::Color, int32_t, int32_t,
                  int32_t) asm("__real_" FB_DRAW_LINE);
void RealSetPixel(fb::Image*, float, float, fb::Color, int32_t, int32_t) asm("__real_" FB_SET_PIXEL);
void RealDrawCircle(fb::Image*, float, float, float, fb::Color, float, float, float, int32_t,
                    int32_t) asm("__real_" FB_DRAW_CIRCLE);
fb::DotRun RealBeginDots(fb::Image*) asm("__real_" FB_BEGIN_DOTS);

int32_t LoggedPutImage(fb::Image* target, float x, float y, fb::Image* image, int32_t x1,
                       int32_t y1, int32_t x2, int32_t y2, int32_t coordFlags, fb::PutMode mode,
                       int32_t alpha, int32_t param, int32_t extra) asm("__wrap_" FB_PUT_IMAGE);
int32_t LoggedPutImage(fb::Image* target, float x, float y, fb::Image* image, int32_t x1,
                       int32_t y1, int32_t x2, int32_t y2, int32_t coordFlags, fb::PutMode mode,
                       int32_t alpha, int32_t param, int32_t extra) {
  Log(Call{Op::PutImage, target, x, y, 0, 0, 0, coordFlags, image, alpha, 0, {}, 0});
  Inside inside;
  return RealPutImage(target, x, y, image, x1, y1, x2, y2, coordFlags, mode, alpha, param, extra);
}

int32_t LoggedDrawText(fb::Image* target, float x, float y, int32_t coordFlags, const char* text,
                       fb::Color colour, fb::Image* font, int32_t mode, int32_t blitter,
                       int32_t alpha, int32_t param) asm("__wrap_" FB_DRAW_TEXT);
int32_t LoggedDrawText(fb::Image* target, float x, float y, int32_t coordFlags, const char* text,
                       fb::Color colour, fb::Image* font, int32_t mode, int32_t blitter,
                       int32_t alpha, int32_t param) {
  Log(Call{Op::DrawText, target, x, y, 0, 0, colour, coordFlags, font, alpha, 0,
           text ? text : "", 0});
  Inside inside;
  return RealDrawText(target, x, y, coordFlags, text, colour, font, mode, blitter, alpha, param);
}

void LoggedDrawLine(fb::Image* target, float x1, float y1, float x2, float y2, fb::Color colour,
                    int32_t boxMode, int32_t style, int32_t coordFlags) asm("__wrap_" FB_DRAW_LINE);
void LoggedDrawLine(fb::Image* target, float x1, float y1, float x2, float y2, fb::Color colour,
                    int32_t boxMode, int32_t style, int32_t coordFlags) {
  Log(Call{Op::DrawLine, target, x1, y1, x2, y2, colour, coordFlags, nullptr, 0, boxMode, {}, 0});
  Inside inside;
  RealDrawLine(target, x1, y1, x2, y2, colour, boxMode, style, coordFlags);
}

void LoggedSetPixel(fb::Image* target, float x, float y, fb::Color colour, int32_t coordFlags,
                    int32_t useBackground) asm("__wrap_" FB_SET_PIXEL);
void LoggedSetPixel(fb::Image* target, float x, float y, fb::Color colour, int32_t coordFlags,
                    int32_t useBackground) {
  Log(Call{Op::SetPixel, target, x, y, 0, 0, colour, coordFlags, nullptr, 0, 0, {}, 0});
  Inside inside;
  RealSetPixel(target, x, y, colour, coordFlags, useBackground);
}

void LoggedDrawCircle(fb::Image* target, float x, float y, float radius, fb::Color colour,
                      float aspect, float start, float end, int32_t fill,
                      int32_t coordFlags) asm("__wrap_" FB_DRAW_CIRCLE);
void LoggedDrawCircle(fb::Image* target, float x, float y, float radius, fb::Color colour,
                      float aspect, float start, float end, int32_t fill, int32_t coordFlags) {
  Log(Call{Op::DrawCircle, target, x, y, 0, 0, colour, coordFlags, nullptr, 0, 0, {}, 0});
  Inside inside;
  RealDrawCircle(target, x, y, radius, colour, aspect, start, end, fill, coordFlags);
}

fb::DotRun LoggedBeginDots(fb::Image* target) asm("__wrap_" FB_BEGIN_DOTS);
fb::DotRun LoggedBeginDots(fb::Image* target) {
  Log(Call{Op::DotRun, target, 0, 0, 0, 0, 0, 0, nullptr, 0, 0, {}, 0});
  Inside inside;
  return RealBeginDots(target);
}
