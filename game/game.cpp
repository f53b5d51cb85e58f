// The game as a whole: start-up, the frame, collisions, the closing screen.
#include "game/game.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include <fb/clock/clock.h>
#include "game/sprites.h"
#include "game/typewriter.h"
#include <fb/gfx/blit.h>
#include <fb/gfx/context.h>
#include <fb/gfx/text.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>

namespace shooter {

using namespace fb;  // the library's names read plainly in the game's code

int32_t score = 0;
int32_t stage = 2;
Player* player = nullptr;
EnemySystem* enemySystem = nullptr;
CoreGauge* coreGauge = nullptr;
Critical* critical = nullptr;

namespace {

constexpr Color HUD_COLOR = 0xFFFFFFFF;  // ignored: NoColor draws in the foreground

void DrawWhole(Image* image, float x, float y, int32_t alpha) {
  PutImage(nullptr, x, y, image, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE,
           PUT_WHOLE_IMAGE, 0, PutMode::Blend, alpha);
}

void NothingToDo(std::string&) {}

}  // namespace

void CreateGame(GameSession& session) {
  score = 0;
  stage = 2;
  session.background = nullptr;
  InitFrameLimiter(session.limiter, GAME_FPS);
  InitGameTimer(session.incStage, "IncStage", WAVE_SECONDS, RepeatMode, SpawnWave);
  player = new Player();
  InitPlayer(*player, 100, 100);
  enemySystem = new EnemySystem();
  InitEnemySystem(*enemySystem);
  coreGauge = new CoreGauge();
  InitCoreGauge(*coreGauge, 200, 10, 100, 100, 4);
  critical = new Critical();
  InitCritical(*critical);
  InitGameTimer(session.coreReg, "CoreReg", REGENERATION_SECONDS, RepeatMode, RegenerateCore);
  session.background = LoadGamePicture("imgs\\Background.bmp");
  if (!session.background) {
    PrintText("[ERROR] Zero pointer in: Background = LoadIMGFile(\"imgs\\Background.bmp\")");
    Sleep(-1);
    std::exit(-1);
  }
}

void RunFrameUpdate(GameSession& session) {
  Update(*enemySystem);
  Update(*player);
  Update(*critical);
  Check(session.incStage);
  Check(session.coreReg);
  CheckCollisions();
}

void RunFrameDraw(GameSession& session) {
  ScreenLock();
  DrawWhole(session.background, 0, 0, 255);
  Draw(*enemySystem);
  Draw(*player);
  std::string scoreText = "Score: " + std::to_string(score);
  DrawText(nullptr, 10, 10, CoordFlags::Absolute | CoordFlags::NoColor, scoreText.c_str(),
           HUD_COLOR);
  DrawText(nullptr, 100, 10, CoordFlags::Absolute | CoordFlags::NoColor, "Core damage: ",
           HUD_COLOR);
  Draw(*coreGauge);
  Draw(*critical);
  ScreenUnlock(-1, -1);
}

void RunFrames(GameSession& session) {
  while (!KeyDown(SCANCODE_ESCAPE)) {
    RunFrameUpdate(session);
    RunFrameDraw(session);
    Wait(session.limiter);
  }
  Destroy(session.incStage);
  Destroy(session.coreReg);
}

namespace {

// The height of the horizontal bands ApplyHits files the aliens in, and
// how many there are: one above the screen, 24 down to row 768, one below.
constexpr int32_t HIT_BAND = 32;
constexpr int32_t HIT_BANDS = 768 / HIT_BAND + 2;
static_assert(ENEMY_BOX < HIT_BAND, "an alien's box spans at most two bands");

// The band of a row: non-decreasing in y, so a box's rows top..bottom lie
// in the bands of top..bottom.  NaN, which no box holds, goes to band 0.
int32_t HitBand(double y) {
  if (!(y >= 0)) return 0;
  if (y >= HIT_BAND * (HIT_BANDS - 2)) return HIT_BANDS - 1;
  return 1 + int32_t(y) / HIT_BAND;
}

}  // namespace

void ApplyHits() {
  // Hits change hit points, never the alive flags, so the living aliens
  // can be gathered once.  Their boxes are filed by band, in slot order
  // within each, and a bullet is tested only against the boxes of its own
  // band: a box that holds it lies in that band, so the first one there
  // that holds it is the lowest-numbered alien that does.
  struct AlienBox {
    double left, right, top, bottom;
    int32_t slot;
  };
  AlienBox boxes[ENEMY_POOL_SIZE];
  int32_t firstBand[ENEMY_POOL_SIZE], lastBand[ENEMY_POOL_SIZE];
  int32_t bandStart[HIT_BANDS + 1] = {};
  int32_t living = 0;
  Enemy* enemies = enemySystem->pool;
  for (int32_t e = 0; e < ENEMY_POOL_SIZE; ++e) {
    const Enemy& enemy = enemies[e];
    if (enemy.alive != 1) continue;
    const AlienBox box{enemy.x, enemy.x + ENEMY_BOX, enemy.y, enemy.y + ENEMY_BOX, e};
    firstBand[living] = HitBand(box.top);
    lastBand[living] = HitBand(box.bottom);
    for (int32_t b = firstBand[living]; b <= lastBand[living]; ++b) ++bandStart[b + 1];
    boxes[living++] = box;
  }
  for (int32_t b = 0; b < HIT_BANDS; ++b) bandStart[b + 1] += bandStart[b];
  int32_t filed[2 * ENEMY_POOL_SIZE];
  int32_t fill[HIT_BANDS];
  std::copy(bandStart, bandStart + HIT_BANDS, fill);
  for (int32_t i = 0; i < living; ++i)
    for (int32_t b = firstBand[i]; b <= lastBand[i]; ++b) filed[fill[b]++] = i;

  Bullet* bullets = player->bullets.pool;
  for (int32_t b = 0; b < BULLET_POOL_SIZE; ++b) {
    Bullet& bullet = bullets[b];
    // A spent bullet can hit nothing more.
    if (bullet.active != 1) continue;
    const int32_t band = HitBand(bullet.y);
    for (int32_t k = bandStart[band]; k < bandStart[band + 1]; ++k) {
      const AlienBox& box = boxes[filed[k]];
      if (bullet.x >= box.left && bullet.x <= box.right && bullet.y >= box.top &&
          bullet.y <= box.bottom) {
        enemies[box.slot].hitPoints -= 1;
        bullet.active = 0;
        break;
      }
    }
  }
}

void ApplyEscapes() {
  for (int32_t e = 0; e < ENEMY_POOL_SIZE; ++e) {
    Enemy& enemy = enemySystem->pool[e];
    if (enemy.x < ENEMY_ESCAPE_X && enemy.alive == 1) {
      enemy.alive = 0;
      if (coreGauge->value > 0) coreGauge->value -= CORE_ESCAPE_DAMAGE;
    }
  }
}

void CheckCollisions() {
  ApplyHits();
  ApplyEscapes();
  if (coreGauge->value <= 0) ShowEndScreen();
  critical->alarm = coreGauge->low == 1 ? 1 : 0;
}

void ReleaseGame(GameSession& session) {
  Destroy(session.incStage);
  Destroy(session.coreReg);
  DestroyImage(session.background);
  session.background = nullptr;
  if (player) Destroy(*player);
  if (enemySystem) Destroy(*enemySystem);
  if (critical) Destroy(*critical);
  delete player;
  delete enemySystem;
  delete coreGauge;
  delete critical;
  player = nullptr;
  enemySystem = nullptr;
  coreGauge = nullptr;
  critical = nullptr;
}

std::string EndScreenText(int32_t points) {
  return "Congradulations! You got " + std::to_string(points) + " Points\n\n\n" + "\n" +
         "Credits:\n" + "Background: procedural starfield drawn by tools/make_art\n" + "\n" +
         "Thanks 4 playing\n" + "Created by Quintabel\n";
}

void ShowEndScreen() {
  Sleep(1000);
  ClearScreen();
  TypewriterPanel panel;
  InitPanel(panel, 200, 256, EndScreenText(score), "I1", NothingToDo);
  // Keys are not read: the closing text is always typed out in full.
  while (panel.done == 0) TypeFrame(panel);
  Sleep(2000, 1);
  std::exit(0);
}

}  // namespace shooter
