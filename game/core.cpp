// The core's gauge and its warning sign.
#include "game/core.h"

#include "game/game.h"
#include "game/sprites.h"
#include <fb/gfx/blit.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>

namespace shooter {

using namespace fb;  // the library's names read plainly in the game's code

namespace {

void Box(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Color colour) {
  DrawLine(nullptr, float(x1), float(y1), float(x2), float(y2), colour, BOX_MODE_FILLED,
           LINE_STYLE_SOLID, 0);
}

}  // namespace

void InitCoreGauge(CoreGauge& gauge, int32_t x, int32_t y, int32_t max, int32_t value,
                   int32_t scale) {
  gauge = CoreGauge{x, y, max, value, scale, 0};
}

void Draw(CoreGauge& gauge) {
  bool low = gauge.value < gauge.max / 4.0;
  int32_t frameRight = gauge.x + gauge.scale * gauge.max + 2;
  Box(gauge.x - 2, gauge.y - 2, frameRight, gauge.y + 12,
      low ? GAUGE_FRAME_LOW : GAUGE_FRAME_NORMAL);
  Box(gauge.x, gauge.y, gauge.x + gauge.scale * gauge.value, gauge.y + 10,
      low ? GAUGE_BAR_LOW : GAUGE_BAR_NORMAL);
  gauge.low = low ? 1 : 0;
}

void RegenerateCore(std::string&) {
  if (coreGauge && coreGauge->value < CORE_FULL) coreGauge->value += 1;
}

void InitCritical(Critical& critical) {
  critical = Critical{nullptr, 5, 25, 0, 0, 0, 60};
  critical.image = LoadGamePicture("imgs\\Crit.bmp");
  if (!critical.image) PrintText("[ERROR] Zero pointer exception in: Constructor Critical");
}

void Update(Critical& critical) {
  if (critical.alarm != 1) return;  // a later alarm resumes where this one stopped
  critical.counter += 1;
  critical.visible = critical.counter <= critical.period / 2.0 ? 1 : 0;
  if (critical.counter > critical.period) critical.counter = 0;
}

void Draw(Critical& critical) {
  if (critical.visible == 1 && critical.alarm == 1 && critical.image)
    PutImage(nullptr, float(critical.x), float(critical.y), critical.image, PUT_WHOLE_IMAGE,
             PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, 0, PutMode::Blend, 255);
}

void Destroy(Critical& critical) {
  DestroyImage(critical.image);
  critical.image = nullptr;
}

}  // namespace shooter
