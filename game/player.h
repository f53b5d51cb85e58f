// The player's ship and its gun.  The ship drifts with inertia (thrust 0.5
// per held key, friction 1/1.1 per frame), bounces off the screen's edges
// and, while space is held, fires two bullets a frame from a ring of 401;
// after the last slot the gun reloads for about two seconds through the
// "RT" timer.  The ship can't be hit.  Update runs in the frame's update
// phase, Draw inside the screen lock.  Program's thread.
#pragma once
#include <cstdint>

#include "game/timers.h"
#include <fb/gfx/image.h>

namespace shooter {

constexpr int32_t BULLET_POOL_SIZE = 401;
constexpr int32_t RELOAD_X = 412;
constexpr int32_t RELOAD_Y = 334;
constexpr int32_t RELOAD_OPACITY = 200;
constexpr double PLAYER_MAX_X = 974.0;  // fits a 50 x 35 ship on 1024 x 768
constexpr double PLAYER_MAX_Y = 733.0;

// Scancodes of the keys the ship answers to.
constexpr int32_t SCANCODE_W = 17;
constexpr int32_t SCANCODE_A = 30;
constexpr int32_t SCANCODE_S = 31;
constexpr int32_t SCANCODE_D = 32;
constexpr int32_t SCANCODE_SPACE = 57;

struct Bullet {
  double x, y;          // the bullet's one pixel
  double prevX, prevY;  // position before the last move
  double vx, vy;
  uint8_t active;  // 1 while in flight
};

struct BulletSystem {
  Bullet* pool;          // BULLET_POOL_SIZE slots used as a ring
  int32_t next;          // slot the next shot uses
  GameTimer reloadTimer; // "RT", armed when the ring wraps
  uint8_t reloading;     // 1 from the wrap until EndReload
  fb::Image* reloadImage;    // shown at (412, 334) while reloading
};

struct Player {
  double x, y;          // top-left corner of the ship image
  double prevX, prevY;  // position before the last move
  double vx, vy;        // pixels per frame
  fb::Image* sprite;
  BulletSystem bullets;
};

// Allocates the ring and loads "imgs\reload.bmp".  Either failing prints
// "[ERROR] Zero pointer in: Constructor BulletSystem()", waits for a key
// and ends the program with status -1.
void InitBulletSystem(BulletSystem& bullets);

// Builds the gun first, then loads "imgs\Player.bmp" (failing: a message,
// a wait for a key, exit status -1) and places the ship at (x, y) at rest.
void InitPlayer(Player& player, int32_t x, int32_t y);

// One frame: clamp to the screen, thrust from w/a/s/d, fire twice while
// space is held (from the muzzle before this frame's move), friction, move,
// bounce, then move the bullets.
void Update(Player& player);

// The ship, then its bullets.  Inside the screen lock.
void Draw(Player& player);

// Puts one bullet into flight in slot next, unless the gun reloads; the
// shot that uses the last slot starts the reload.
void Fire(BulletSystem& bullets, int32_t x, int32_t y, double vx, double vy);

// Moves every bullet in flight, then checks the reload timer.
void Update(BulletSystem& bullets);

// Every bullet in flight as a white pixel, and the reload picture while
// reloading.  Inside the screen lock.
void Draw(BulletSystem& bullets);

// Frees the ring, the pictures and the timer's name (tests; the game keeps
// its player for the whole run).
void Destroy(Player& player);

// The "RT" timer's routine: ends the reload of the global player's gun.
void EndReload(std::string& name);

}  // namespace shooter
