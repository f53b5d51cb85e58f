// The console: its key ring, and standard input read through it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <fb/platform/console.h>
#include <fb/platform/keyboard.h>
#include "tests/piped_descriptor.h"

namespace fb {
namespace {

TEST(ConsoleRing, KeepsTheLast511InOrder) {
  ResetConsole();
  for (int i = 0; i < 520; i++) ConsolePutKey(1000 + i);
  for (int i = 9; i < 520; i++) {
    ASSERT_TRUE(ConsoleKeyHit());
    ASSERT_EQ(ConsoleTakeKey(), 1000 + i);
  }
  EXPECT_FALSE(ConsoleKeyHit());
  EXPECT_EQ(ConsoleTakeKey(), 0);
  ResetConsole();
}

TEST(ConsoleRing, KeyHitFlagIsSetByPutsAndClearedByAnyTake) {
  ResetConsole();
  EXPECT_FALSE(ConsoleTakeKeyHitFlag());
  ConsolePutKey('a');
  ConsolePutKey('b');
  EXPECT_TRUE(ConsoleTakeKeyHitFlag());
  EXPECT_FALSE(ConsoleTakeKeyHitFlag());
  ConsolePutKey('c');
  EXPECT_EQ(ConsoleTakeKey(), 'a');
  EXPECT_FALSE(ConsoleTakeKeyHitFlag());  // cleared though 'b' still waits
  EXPECT_TRUE(ConsoleKeyHit());
  ConsolePutKey('f');
  ResetConsole();
  EXPECT_FALSE(ConsoleTakeKeyHitFlag());
  EXPECT_FALSE(ConsoleKeyHit());
}

TEST(PollConsole, DecodesWhatWaitsOnStandardInput) {
  ResetConsole();
  PipedDescriptor in(STDIN_FILENO);
  PollConsole();
  EXPECT_FALSE(ConsoleKeyHit());  // nothing written yet: no key, no end

  in.Write("h\xc3\xa9\x1b[");
  PollConsole();
  EXPECT_EQ(ConsoleTakeKey(), 'h');
  EXPECT_EQ(ConsoleTakeKey(), -126);
  EXPECT_FALSE(ConsoleKeyHit());
  in.Write("24~");  // the rest of the sequence in a later read
  PollConsole();
  EXPECT_EQ(ConsoleTakeKey(), ExtendedKey(0x86));
  ResetConsole();
}

TEST(PollConsole, LoneEscapeBecomesEscapeOnceInputGoesQuiet) {
  ResetConsole();
  PipedDescriptor in(STDIN_FILENO);
  in.Write("\x1b");
  PollConsole();
  EXPECT_FALSE(ConsoleKeyHit());  // it may yet start a sequence
  // Not a timing check: the wait only has to exceed the console's
  // quiet period, so that the Escape is known to stand alone.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  PollConsole();
  EXPECT_EQ(ConsoleTakeKey(), 27);
  ResetConsole();
}

TEST(PollConsole, EndOfInputPutsTheCloseKeyOnce) {
  ResetConsole();
  {
    PipedDescriptor in(STDIN_FILENO);
    in.Write("ab\x1b");
    in.CloseWriter();
    PollConsole();
    EXPECT_TRUE(ConsoleTakeKeyHitFlag());
    EXPECT_EQ(ConsoleTakeKey(), 'a');
    EXPECT_EQ(ConsoleTakeKey(), 'b');
    EXPECT_EQ(ConsoleTakeKey(), 27);  // the pending Escape is not lost
    EXPECT_EQ(ConsoleTakeKey(), KEY_CLOSE);
    PollConsole();
    EXPECT_FALSE(ConsoleKeyHit());  // the close key itself comes once
    EXPECT_EQ(ReadKey(), "");
    // But a wait for a key never lasts forever on a closed console.
    EXPECT_TRUE(ConsoleTakeKeyHitFlag());
    EXPECT_TRUE(TakeKeyHitFlag());
    EXPECT_EQ(WaitKey(), KEY_CLOSE);
  }
  ResetConsole();
  int saved = dup(STDIN_FILENO);
  int devNull = open("/dev/null", O_RDONLY);
  ASSERT_GE(devNull, 0);
  dup2(devNull, STDIN_FILENO);
  PollConsole();
  EXPECT_EQ(ConsoleTakeKey(), KEY_CLOSE);
  dup2(saved, STDIN_FILENO);
  close(saved);
  close(devNull);
  ResetConsole();
}

TEST(PollConsole, AnEndlessSourceDoesNotHoldTheCaller) {
  ResetConsole();
  int saved = dup(STDIN_FILENO);
  int zero = open("/dev/zero", O_RDONLY);
  ASSERT_GE(zero, 0);
  dup2(zero, STDIN_FILENO);
  PollConsole();  // returns: NUL bytes type nothing and reading is bounded
  EXPECT_FALSE(ConsoleKeyHit());
  dup2(saved, STDIN_FILENO);
  close(saved);
  close(zero);
  ResetConsole();
}

TEST(ConsoleOutput, WritesEverythingAndClearsOnlyATerminal) {
  PipedDescriptor out(STDOUT_FILENO);
  std::string text(20000, 'x');
  text += "end";
  ConsoleWrite(text);
  ConsoleClear();  // standard output is a pipe now: nothing to clear
  EXPECT_EQ(out.ReadAvailable(), text);
}

}  // namespace
}  // namespace fb
