// Frame pacing and named interval timers of the game.
// FrameLimiter ends each frame with a sleep that paces the loop; GameTimer
// is polled once per frame and calls its routine when its interval is over.
// Both read TimerSeconds and sleep with Sleep; neither runs a thread of its
// own.  Program's thread only.
#pragma once
#include <cstdint>
#include <string>

namespace shooter {

struct FrameLimiter {
  double waitMs;    // the wait computed by the last Wait, milliseconds
  double lastTime;  // TimerSeconds at the end of the previous Wait; 0 before the first
  int32_t fps;      // target frames per second, 1 or more
};

// Every field 0, then fps set.
void InitFrameLimiter(FrameLimiter& limiter, int32_t fps);

// Sets the target rate; nothing else changes.
void SetFps(FrameLimiter& limiter, int32_t fps);

// Called once at the end of every frame.  The first call only records the
// time; later calls sleep floor(1000 - elapsedSeconds * fps) / fps
// milliseconds when that is above 0 (about 16 ms at 60 fps for any frame
// shorter than two thirds of a second).
void Wait(FrameLimiter& limiter);

// A timer's routine; it receives the timer's name.
using TimerCallback = void (*)(std::string& name);

// Timer modes: fire every interval, or fire once and disarm.
constexpr uint8_t RepeatMode = 0;
constexpr uint8_t OnceMode = 1;

struct GameTimer {
  TimerCallback callback;
  int32_t startTime;  // TimerSeconds rounded to a whole second, at arming and each repeat
  int32_t interval;   // seconds from startTime to the firing
  std::string name;
  uint8_t mode;    // RepeatMode, OnceMode; any other value never fires
  uint8_t active;  // 1 while armed
};

// Every field 0: name empty, no callback, disarmed.
void Clear(GameTimer& timer);

// Clear, then Start.
void InitGameTimer(GameTimer& timer, const std::string& name, int32_t interval, uint8_t mode,
                   TimerCallback callback);

// Arms the timer afresh from now (TimerSeconds rounded to the nearest whole
// second) with a copy of name; clears nothing first, so it re-arms a timer
// already in use.
void Start(GameTimer& timer, const std::string& name, int32_t interval, uint8_t mode,
           TimerCallback callback);

// Fires the timer when armed and due: a repeating timer restarts from the
// current whole second (missed intervals are not made up), a once-timer
// disarms; the fields change before the callback runs.
void Check(GameTimer& timer);

// Releases the name (the timer is then disarmed).
void Destroy(GameTimer& timer);

}  // namespace shooter
