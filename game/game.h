// The game as a whole: its global state, the start-up, the frame (update
// phase, then drawing phase inside the screen lock, then the limiter's
// wait), the per-frame collision and end-of-game step and the closing
// screen.  Everything runs on the program's thread; timer callbacks run
// inside the update phase.
#pragma once
#include <cstdint>
#include <string>

#include "game/core.h"
#include "game/enemies.h"
#include "game/player.h"
#include "game/timers.h"
#include <fb/gfx/image.h>

namespace shooter {

// Global game state, reached directly by the timer callbacks, the
// collisions, the HUD and the closing screen.
extern int32_t score;  // 10 per destroyed alien
extern int32_t stage;  // size of the next wave, 2 up to 10
extern Player* player;
extern EnemySystem* enemySystem;
extern CoreGauge* coreGauge;
extern Critical* critical;

constexpr int32_t SCANCODE_ESCAPE = 1;
constexpr int32_t GAME_FPS = 60;
constexpr int32_t WAVE_SECONDS = 5;
constexpr int32_t REGENERATION_SECONDS = 5;

// What the entry routine owns for the whole run.
struct GameSession {
  FrameLimiter limiter;
  GameTimer incStage;  // waves, SpawnWave
  GameTimer coreReg;   // core regeneration, RegenerateCore
  fb::Image* background;   // 1024 x 768, drawn first in every frame
};

// Resets score and stage and builds the session and the four game objects
// on the heap, in the start-up order: limiter, "IncStage", player at
// (100, 100), enemies, gauge, warning, "CoreReg", background.  Expects the
// screen open and the generator seeded.  A missing background prints its
// "[ERROR]" line, waits for a key and ends the program with status -1.
void CreateGame(GameSession& session);

// The update phase: aliens (and particles), ship, warning, both timers,
// then CheckCollisions, which may end the program.
void RunFrameUpdate(GameSession& session);

// The drawing phase between ScreenLock and ScreenUnlock(-1, -1):
// background, aliens, ship, "Score: ", "Core damage: ", gauge, warning.
void RunFrameDraw(GameSession& session);

// Frames until Escape is held at the loop test; then destroys the timers.
void RunFrames(GameSession& session);

// Hits: every bullet slot (outer) against every alien slot (inner); a
// bullet in a living alien's box, edges included, takes one hit point and
// is spent on the lowest-numbered such alien.
void ApplyHits();

// Escapes: every living alien left of x = -25 leaves play and, while the
// core's value is above 0, takes 5 points off it.
void ApplyEscapes();

// Hits, escapes, then the end test: a core at 0 or below runs
// ShowEndScreen (never returns); otherwise the warning's alarm follows the
// gauge's low flag of the last drawn frame.
void CheckCollisions();

// Frees the four game objects, the background and the timers' names, and
// resets the globals.  The game itself never calls it (its objects live
// until the process ends); it lets one process build the game repeatedly.
void ReleaseGame(GameSession& session);

// The closing text typed by ShowEndScreen for a score.
std::string EndScreenText(int32_t points);

// The closing screen: a pause a key may cut short, the score and credits
// typed out in full, 2 s, then exit status 0.
[[noreturn]] void ShowEndScreen();

}  // namespace shooter
