// The core the player defends: a health value shown as a gauge at the top
// of the screen (blue, red below a quarter) and a warning sign that blinks
// while the gauge is low.  Escapes take 5 points each (the core rule in
// CheckCollisions), the "CoreReg" timer gives one back every 5 seconds.
// Update runs in the frame's update phase, Draw inside the screen lock.
// Program's thread.
#pragma once
#include <cstdint>
#include <string>

#include <fb/gfx/color.h>
#include <fb/gfx/image.h>

namespace shooter {

constexpr fb::Color GAUGE_FRAME_NORMAL = 0x006060FF;
constexpr fb::Color GAUGE_BAR_NORMAL = 0x000000FF;
constexpr fb::Color GAUGE_FRAME_LOW = 0x00FF6060;
constexpr fb::Color GAUGE_BAR_LOW = 0x00FF0000;
constexpr int32_t CORE_FULL = 100;        // RegenerateCore stops here
constexpr int32_t CORE_ESCAPE_DAMAGE = 5;

struct CoreGauge {
  int32_t x, y;   // top-left corner of the bar
  int32_t max;    // largest value
  int32_t value;  // the core's health
  int32_t scale;  // pixels of bar per point
  uint8_t low;    // value was below max / 4 at the last Draw
};

struct Critical {
  fb::Image* image;     // "imgs\Crit.bmp"; nullptr draws nothing
  int32_t x, y;     // where the sign is drawn
  int32_t counter;  // frames into the blink cycle
  uint8_t visible;  // in the shown half of the cycle
  uint8_t alarm;    // 1 while the warning is to blink
  int32_t period;   // blink cycle, frames
};

void InitCoreGauge(CoreGauge& gauge, int32_t x, int32_t y, int32_t max, int32_t value,
                   int32_t scale);

// The frame (2 pixels around the full bar) and the bar, in blue or, below a
// quarter of max, in red; records that choice in low.
void Draw(CoreGauge& gauge);

// The "CoreReg" timer's routine: one point back for the global coreGauge,
// up to 100.
void RegenerateCore(std::string& name);

// Places the sign at (5, 25) with a 60-frame blink and loads its picture; a
// missing picture prints an "[ERROR]" line and the game goes on without it.
void InitCritical(Critical& critical);

// Advances the blink while the alarm is on: shown for counter 1..30,
// hidden for 31..61, then the cycle restarts.
void Update(Critical& critical);

// The sign, while the alarm is on and the blink is in its shown half.
void Draw(Critical& critical);

// Frees the picture (tests; the game keeps its warning for the whole run).
void Destroy(Critical& critical);

}  // namespace shooter
