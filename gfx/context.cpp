#include "context.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "spans.h"
#include "spans_packed.h"
#include "../platform/screen.h"

namespace fb {

namespace {

// Pixel access by depth.  The row table points into 16-byte aligned
// buffers whose pitch is a multiple of the pixel size, so the casts are
// properly aligned.
void Put8(DrawContext& dc, int x, int y, uint32_t v) { dc.rows[size_t(y)][x] = uint8_t(v); }
void Put16(DrawContext& dc, int x, int y, uint32_t v) {
  reinterpret_cast<uint16_t*>(dc.rows[size_t(y)])[x] = uint16_t(v);
}
void Put32(DrawContext& dc, int x, int y, uint32_t v) {
  reinterpret_cast<uint32_t*>(dc.rows[size_t(y)])[x] = v;
}
uint32_t Get8(const DrawContext& dc, int x, int y) { return dc.rows[size_t(y)][x]; }
uint32_t Get16(const DrawContext& dc, int x, int y) {
  return reinterpret_cast<const uint16_t*>(dc.rows[size_t(y)])[x];
}
uint32_t Get32(const DrawContext& dc, int x, int y) {
  return reinterpret_cast<const uint32_t*>(dc.rows[size_t(y)])[x];
}

// Translucent colours on a screen opened with SCREEN_ALPHA_PRIMITIVES:
// each colour byte moves towards the colour by alpha / 256 (rounded
// towards minus infinity) and the alpha byte becomes the colour's.
inline uint32_t BlendPrimitive(uint32_t d, uint32_t c) {
  int a = int(c >> 24);
  uint32_t out = c & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    int cd = int((d >> shift) & 0xFF), cc = int((c >> shift) & 0xFF);
    out |= uint32_t(cd + (((cc - cd) * a) >> 8)) << shift;
  }
  return out;
}
void PutBlend32(DrawContext& dc, int x, int y, uint32_t v) {
  uint32_t* p = reinterpret_cast<uint32_t*>(dc.rows[size_t(y)]) + x;
  *p = BlendPrimitive(*p, v);
}
void FillBlend32(void* dst, uint32_t value, size_t count) {
  auto* p = static_cast<uint32_t*>(dst);
  for (size_t i = 0; i < count; ++i) p[i] = BlendPrimitive(p[i], value);
}

PixelRoutines MakeRoutines(int bpp, const SpanRoutines& spans) {
  if (bpp == 4) return {Put32, Get32, spans.FillSpan, spans.CopySpan};
  if (bpp == 2) return {Put16, Get16, spans.FillSpan, spans.CopySpan};
  return {Put8, Get8, spans.FillSpan, spans.CopySpan};
}

int Index(int bpp) { return bpp == 4 ? 2 : bpp == 2 ? 1 : 0; }

void RenewDirectSerial(DrawContext& dc) {
  const bool direct = !dc.target && !(dc.state & (DC_RELOAD_SCREEN | DC_IMAGE_TARGET)) &&
                      dc.bpp == 4 && dc.routineKey == 4 && dc.workPage == dc.screen->visiblePage;
  dc.directSerial = direct ? dc.modeSerial : 0;
  dc.dotXSpan = direct ? uint64_t(std::max(0, dc.clip.width - 2)) : 0;
  dc.dotYSpan = direct ? uint64_t(std::max(0, dc.clip.height - 2)) : 0;
  dc.dotOrigin = direct && size_t(dc.clip.y) < dc.rows.size()
                     ? dc.rows[size_t(dc.clip.y)] + 4 * size_t(dc.clip.x)
                     : nullptr;
  dc.dotDirtyRows = direct ? dc.dirtyRows + dc.clip.y : nullptr;
}

void LoadScreenState(DrawContext& dc, const ScreenContext& screen) {
  dc.clip = dc.savedScreenClip;
  dc.bpp = screen.bpp;
  dc.pitch = screen.pitch;
  if (dc.rows.size() < size_t(screen.height)) dc.rows.resize(size_t(screen.height));
  uint8_t* page = screen.pages[dc.workPage];
  for (int i = 0; i < screen.height; ++i) dc.rows[size_t(i)] = page + size_t(i) * size_t(screen.pitch);
  dc.state &= ~(DC_RELOAD_SCREEN | DC_IMAGE_TARGET);
  ChoosePixelRoutines(dc, 0xFF000000);
}

thread_local DrawContext threadContext;

// The routine sets by depth.  Filled in before main runs; drawing looks
// them up without any guard or feature test.
const PixelRoutines PLAIN_ROUTINES[3] = {MakeRoutines(1, PlainSpans(1)), MakeRoutines(2, PlainSpans(2)),
                                         MakeRoutines(4, PlainSpans(4))};
const PixelRoutines SSE2_ROUTINES[3] = {MakeRoutines(1, Sse2Spans(1)), MakeRoutines(2, Sse2Spans(2)),
                                        MakeRoutines(4, Sse2Spans(4))};
const PixelRoutines AVX2_ROUTINES[3] = {MakeRoutines(1, Avx2Spans(1)), MakeRoutines(2, Avx2Spans(2)),
                                        MakeRoutines(4, Avx2Spans(4))};

}  // namespace

const PixelRoutines& PlainPixelRoutines(int bpp) { return PLAIN_ROUTINES[Index(bpp)]; }

const PixelRoutines& PackedPixelRoutines(int bpp) {
  uint32_t features = CpuFeatures();
  if (features & CPU_AVX2) return AVX2_ROUTINES[Index(bpp)];
  if (features & CPU_SSE2) return SSE2_ROUTINES[Index(bpp)];
  return PLAIN_ROUTINES[Index(bpp)];
}

thread_local constinit DrawContext* threadDrawContext = nullptr;

DrawContext* SetUpDrawContext(ScreenContext& s) {
  ScreenContext* screen = &s;
  DrawContext& dc = threadContext;
  threadDrawContext = &dc;
  if (dc.modeSerial != screen->modeSerial) {
    std::vector<uint8_t*> rows;
    rows.swap(dc.rows);  // the old table is freed with this scope
    dc = DrawContext{};
    dc.modeSerial = screen->modeSerial;
    dc.screen = screen;
    dc.dirtyRows = screen->dirtyRows;
    dc.screenHeight = screen->height;
    dc.screenMarks = screen->flags;
    dc.dotLeastColour = (screen->flags & SCREEN_MARK_ALPHA_PRIMITIVES) ? 0xFF000000u : 0;
    dc.savedScreenClip = {0, 0, screen->width, screen->height};
    dc.rows.assign(size_t(screen->height), nullptr);
    dc.foreground = screen->depth == 8 ? 15u : screen->colorMask;
    dc.background = screen->colorMask & 0xFF000000u;
    dc.state = DC_RELOAD_SCREEN;
    SelectTarget(dc, nullptr);
  }
  return &dc;
}

void SelectTargetChanged(DrawContext& dc, Image* target) {
  ScreenContext* screen = dc.screen;
  if (target) {
    if (!(dc.state & DC_IMAGE_TARGET)) dc.savedScreenClip = dc.clip;
    if (dc.state & DC_RELOAD_SCREEN) dc.savedScreenClip = {0, 0, screen->width, screen->height};
    dc.clip = {0, 0, int32_t(target->width), int32_t(target->height)};
    dc.bpp = int32_t(target->bpp);
    dc.pitch = int32_t(target->pitch);
    if (dc.rows.size() < target->height) dc.rows.resize(target->height);
    uint8_t* pixels = ImagePixels(target);
    for (uint32_t i = 0; i < target->height; ++i) dc.rows[i] = pixels + size_t(i) * target->pitch;
    dc.state |= DC_IMAGE_TARGET;
    dc.target = target;
    ChoosePixelRoutines(dc, 0xFF000000);
    RenewDirectSerial(dc);
    return;
  }
  if (dc.state & (DC_RELOAD_SCREEN | DC_IMAGE_TARGET)) LoadScreenState(dc, *screen);
  dc.target = nullptr;
  RenewDirectSerial(dc);
}

void ForgetTarget(DrawContext& dc) {
  dc.target = nullptr;
  if (dc.state & DC_IMAGE_TARGET) {
    dc.clip = dc.savedScreenClip;
    dc.state = (dc.state & ~DC_IMAGE_TARGET) | DC_RELOAD_SCREEN;
  }
  dc.directSerial = 0;  // the next selection of the screen renews it
}

void LoadPixelRoutines(DrawContext& dc, uint32_t routineKey) {
  // The set was fixed when the screen opened (its marks), so one screen
  // never mixes plain and packed routines.
  const uint32_t marks = dc.screenMarks;
  const int i = Index(dc.bpp);
  dc.pixel = (marks & SCREEN_MARK_AVX2)     ? AVX2_ROUTINES[i]
             : (marks & SCREEN_MARK_PACKED) ? SSE2_ROUTINES[i]
                                            : PLAIN_ROUTINES[i];
  if (routineKey & 0x100u) {
    dc.pixel.PutPixel = PutBlend32;
    dc.pixel.FillSpan = FillBlend32;
  }
  dc.routineKey = routineKey;
  RenewDirectSerial(dc);
}

void ApplyCoordFlags(DrawContext& dc, int32_t coordFlags, float& x1, float& y1, float& x2,
                     float& y2) {
  int mode = coordFlags & 3;
  if (mode == 2 || mode == 3) {
    x1 += dc.lastPoint.x;
    y1 += dc.lastPoint.y;
  }
  if (mode == 1 || mode == 3) {
    x2 += x1;
    y2 += y1;
  }
  dc.lastPoint = {x2, y2};
}
}  // namespace fb
