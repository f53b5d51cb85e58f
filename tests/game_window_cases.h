// The game's window tests, played on the desk GAME_DESK names (see
// game_window_play.h).
#pragma once
#include "game_window_play.h"

#ifndef GAME_DESK
#error "GAME_DESK must name the desk the game is played on"
#endif

namespace gameplay {

class GameWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(fs::path(FB_RUN_DIR) / "imgs" / "Background.bmp"))
      GTEST_SKIP() << "the pictures were not drawn into " FB_RUN_DIR;
    std::string why;
    desk = std::make_unique<GAME_DESK>();
    if (!desk->Ready(&why)) GTEST_SKIP() << why;
  }
  using Game = GameProcess<GAME_DESK>;
  std::unique_ptr<GAME_DESK> desk;
};

TEST_F(GameWindowTest, IntroPlayAndEscape) {
  Game game(*desk, [] {});
  ASSERT_TRUE(game.FindWindow());
  ASSERT_TRUE(game.WaitForScreen(IntroTyping)) << "the briefing is typed in green at (250, 256)";

  game.Tap("x");
  Shot play;
  ASSERT_TRUE(game.WaitForScreen([](const Shot& s) {
    return s.Count(200, 10, 600, 20, GAUGE_BLUE) > 3000 && s.Count(10, 10, 66, 17, WHITE) > 40;
  }, &play)) << "\"Score: 0\" and the blue gauge";
  EXPECT_EQ(play.Count(250, 256, 257, 263, INTRO_GREEN), 0) << "the intro is gone";

  // The background is redrawn whole every frame, so what is new in the
  // picture is the ship's and the bullets' doing.
  auto whiteRightOfShip = [](const Shot& s) { return s.Count(200, 30, 1023, 767, WHITE); };
  const int whiteBefore = whiteRightOfShip(play);
  game.Keys("keydown", "d space");
  Shot moving;
  bool shooting = game.WaitForScreen([&](const Shot& s) {
    int changedAtStart = 0;
    for (int y = 100; y < 135; ++y)
      for (int x = 100; x < 150; ++x) changedAtStart += s.At(x, y) != play.At(x, y);
    return whiteRightOfShip(s) > whiteBefore + 20 && changedAtStart > 300;
  }, &moving);
  game.Keys("keyup", "d space");
  EXPECT_TRUE(shooting) << "the ship leaves (100, 100) and bullets fly right of it";

  game.Keys("keydown", "Escape");
  int status = game.WaitForExit();
  game.Keys("keyup", "Escape");
  EXPECT_EQ(status, 0);
}

TEST_F(GameWindowTest, MissingBackgroundShowsItsErrorAndExitsWithMinusOne) {
  Game game(*desk, [] { fs::remove("imgs/Background.bmp"); });
  ASSERT_TRUE(game.FindWindow());
  const int columns = int(sizeof("[ERROR] Zero pointer in: Background = LoadIMGFile(\"imgs\\Background.bmp\")") - 1);
  EXPECT_TRUE(game.WaitForScreen([&](const Shot& s) { return ErrorLineShown(s, columns); }));
  game.Tap("x");
  EXPECT_EQ(game.WaitForExit(), 255);
}

TEST_F(GameWindowTest, MissingReloadPictureShowsTheGunsErrorAndExitsWithMinusOne) {
  Game game(*desk, [] { fs::remove("imgs/reload.bmp"); });
  ASSERT_TRUE(game.FindWindow());
  const int columns = int(sizeof("[ERROR] Zero pointer in: Constructor BulletSystem()") - 1);
  EXPECT_TRUE(game.WaitForScreen([&](const Shot& s) { return ErrorLineShown(s, columns); }));
  game.Tap("x");
  EXPECT_EQ(game.WaitForExit(), 255);
}

// The intro draws the background over the message, so this background
// leaves its top rows transparent (magenta) to keep the message in view.
TEST_F(GameWindowTest, MissingWarningPictureIsReportedAndThePlayGoesOn) {
  Game game(*desk, [] {
    fs::remove("imgs/Crit.bmp");
    gametest::WriteFile("imgs/Background.bmp", gametest::MakeBmp(1024, 768, [](int, int y) {
                          return y < 40 ? 0xFF00FFu : 0x202040u;
                        }));
  });
  ASSERT_TRUE(game.FindWindow());
  const int columns = int(sizeof("[ERROR] Zero pointer exception in: Constructor Critical") - 1);
  EXPECT_TRUE(game.WaitForScreen([&](const Shot& s) { return ErrorLineShown(s, columns) && IntroTyping(s); }));
  game.Tap("x");
  EXPECT_TRUE(game.WaitForScreen([](const Shot& s) { return s.Count(200, 10, 600, 20, GAUGE_BLUE) > 3000; }));
  game.Keys("keydown", "Escape");
  int status = game.WaitForExit();
  game.Keys("keyup", "Escape");
  EXPECT_EQ(status, 0);
}

}  // namespace gameplay
