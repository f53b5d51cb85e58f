// The player's ship and its gun.
#include "game/player.h"

#include <cmath>
#include <cstdlib>
#include <new>

#include <fb/clock/clock.h>
#include <fb/clock/random.h>
#include "game/game.h"
#include "game/rounding.h"
#include "game/sprites.h"
#include <fb/gfx/blit.h>
#include <fb/gfx/context.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>
#include <fb/platform/keyboard.h>

namespace shooter {

using namespace fb;  // the library's names read plainly in the game's code

namespace {

constexpr double THRUST = 0.5;
constexpr double FRICTION = 1.1;
constexpr double BULLET_SPEED = 10.0;
constexpr int32_t MUZZLE_X = 50;
constexpr int32_t MUZZLE_Y = 17;
constexpr int32_t RELOAD_SECONDS = 2;
constexpr Color BULLET_COLOR = 0x00FFFFFF;

bool Held(int32_t scancode) { return KeyDown(scancode) != 0; }

}  // namespace

void InitBulletSystem(BulletSystem& bullets) {
  bullets.pool = nullptr;
  bullets.reloadImage = nullptr;
  bullets.next = 0;
  Clear(bullets.reloadTimer);
  bullets.reloading = 0;
  bullets.pool = new (std::nothrow) Bullet[BULLET_POOL_SIZE]();
  bullets.reloadImage = LoadGamePicture("imgs\\reload.bmp");
  if (!bullets.pool || !bullets.reloadImage) {
    PrintText("[ERROR] Zero pointer in: Constructor BulletSystem()");
    Sleep(-1);
    std::exit(-1);  // a failed start, like the other constructors
  }
}

void InitPlayer(Player& player, int32_t x, int32_t y) {
  player.x = player.y = player.prevX = player.prevY = player.vx = player.vy = 0;
  player.sprite = nullptr;
  InitBulletSystem(player.bullets);
  player.sprite = LoadGamePicture("imgs\\Player.bmp");
  if (!player.sprite) {
    PrintText("[ERROR] Can't load \"imgs\\Player.bmp\"");
    Sleep(-1);
    std::exit(-1);
  }
  player.x = player.prevX = double(x);
  player.y = player.prevY = double(y);
}

void Update(Player& player) {
  if (player.x < 0.0) player.x = 0.0;
  if (player.y < 0.0) player.y = 0.0;
  if (player.x > PLAYER_MAX_X) player.x = PLAYER_MAX_X;
  if (player.y > PLAYER_MAX_Y) player.y = PLAYER_MAX_Y;

  if (Held(SCANCODE_W)) player.vy += -THRUST;
  if (Held(SCANCODE_S)) player.vy += THRUST;
  if (Held(SCANCODE_A)) player.vx += -THRUST;
  if (Held(SCANCODE_D)) player.vx += THRUST;

  if (Held(SCANCODE_SPACE)) {
    int32_t mx = RoundHalfEven(player.x + MUZZLE_X);
    int32_t my = RoundHalfEven(player.y + MUZZLE_Y);
    // Both spreads are drawn even while reloading, keeping the random
    // sequence independent of the gun's state.
    double spread = Random(1.0f) * 0.5 - 0.25;
    Fire(player.bullets, mx, my, BULLET_SPEED, spread);
    double narrowSpread = Random(1.0f) * 0.05 - 0.025;
    Fire(player.bullets, mx, my, BULLET_SPEED, narrowSpread);
  }

  player.vx = player.vx / FRICTION;
  player.vy = player.vy / FRICTION;

  player.prevX = player.x;
  player.prevY = player.y;
  player.x += player.vx;
  player.y += player.vy;

  // The position itself comes back inside at the next frame's clamp, so a
  // ship that crossed an edge is drawn once beyond it.
  if (player.x < 0.0) player.vx = std::fabs(player.vx);
  if (player.x > PLAYER_MAX_X) player.vx = -std::fabs(player.vx);
  if (player.y < 0.0) player.vy = std::fabs(player.vy);
  if (player.y > PLAYER_MAX_Y) player.vy = -std::fabs(player.vy);

  Update(player.bullets);
}

void Draw(Player& player) {
  PutImage(nullptr, float(player.x), float(player.y), player.sprite, PUT_WHOLE_IMAGE,
           PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, 0, PutMode::Blend, 255);
  Draw(player.bullets);
}

void Fire(BulletSystem& bullets, int32_t x, int32_t y, double vx, double vy) {
  if (bullets.reloading != 0) return;
  Bullet& b = bullets.pool[bullets.next];
  b.x = double(x);
  b.y = double(y);
  b.prevX = b.x;
  b.prevY = b.y;
  b.vx = vx;
  b.vy = vy;
  b.active = 1;
  bullets.next = (bullets.next + 1) % BULLET_POOL_SIZE;
  if (bullets.next == 0) {
    bullets.reloading = 1;
    Start(bullets.reloadTimer, "RT", RELOAD_SECONDS, OnceMode, EndReload);
  }
}

void Update(BulletSystem& bullets) {
  for (int32_t i = 0; i < BULLET_POOL_SIZE; ++i) {
    Bullet& b = bullets.pool[i];
    if (b.active != 1) continue;
    b.prevX = b.x;
    b.prevY = b.y;
    b.x += b.vx;
    b.y += b.vy;
  }
  Check(bullets.reloadTimer);
}

void Draw(BulletSystem& bullets) {
  for (int32_t i = 0; i < BULLET_POOL_SIZE; ++i) {
    const Bullet& b = bullets.pool[i];
    if (b.active != 1) continue;
    SetPixel(nullptr, float(b.x), float(b.y), BULLET_COLOR, CoordFlags::Absolute);
  }
  if (bullets.reloading == 1)
    PutImage(nullptr, RELOAD_X, RELOAD_Y, bullets.reloadImage, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE,
             PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, 0, PutMode::Blend, RELOAD_OPACITY);
}

void Destroy(Player& player) {
  delete[] player.bullets.pool;
  player.bullets.pool = nullptr;
  DestroyImage(player.bullets.reloadImage);
  player.bullets.reloadImage = nullptr;
  Destroy(player.bullets.reloadTimer);
  DestroyImage(player.sprite);
  player.sprite = nullptr;
}

void EndReload(std::string&) {
  if (player) player->bullets.reloading = 0;
}

}  // namespace shooter
