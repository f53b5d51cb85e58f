// The window thread that windowed drivers share.  A driver supplies the
// steps only it can do (open and close its window, present a band of rows,
// sample the keyboard, dispatch window messages); the thread, its start
// handshake, the display lock and the presentation tick are written once
// here.  One window thread exists at a time.
//
// A window can be lost while the program runs: its display connection
// breaks (the server ends, a forwarded connection drops) or another client
// destroys it.  The driver reports that with ReportWindowLost; from then on
// nothing is presented, sampled or dispatched, no key counts as held, and
// the program's thread is ended the next time it takes the display lock.
#pragma once
#include <cstdint>
#include <string>

namespace fb {

struct ScreenContext;

struct WindowHooks {
  // Runs first on the window thread: creates the window.  false ends the
  // thread and makes StartWindowThread return -1.
  bool (*Open)(void* user);
  // Presents rows first..last (inclusive) of the framebuffer in one copy.
  void (*Present)(void* user, int firstRow, int lastRow);
  // Fills the 128-byte key-state table from the keyboard (only called
  // while the window is active).
  void (*Sample)(void* user, uint8_t* keyState);
  // Handles every waiting window message without blocking.
  void (*Dispatch)(void* user);
  // Runs last on the window thread: destroys the window.
  void (*Close)(void* user);
  void* user;
  // Optional (nullptr: none).  Runs on the window thread right after each
  // tick, once the display lock is released: the slow part of presenting
  // (converting and sending what Present copied out of the framebuffer,
  // waiting for the display) belongs here, where the program's thread is
  // not kept waiting for it.  Not called once the window is lost.
  void (*Deliver)(void* user) = nullptr;
  // Optional (nullptr: none).  Runs at the top of each tick, before the
  // display lock is taken, in place of the sleep that otherwise follows
  // the tick: a driver that gives it makes the pause between ticks there.
  void (*BeforeLock)(void* user) = nullptr;
  // Optional (nullptr: none).  Runs right after the tick has taken the
  // display lock, before the dirty rows are looked at: the place to wait
  // for what must come before presenting (the display's retrace) and to
  // mark rows that must be presented again.  Not called once the window is
  // lost.
  void (*AfterLock)(void* user) = nullptr;
};

// Starts the window thread and waits until it has opened its window (0)
// or has ended because it could not (-1).
int StartWindowThread(const WindowHooks& hooks);

// Clears the running flag, releases the display lock if the program's
// thread still holds it through ScreenLock (setting the lock count to 0),
// and waits for the thread to end.  Must run on the program's thread.
void StopWindowThread();

// Sets the lock count to 0 and releases the display lock if the program's
// thread still holds it through ScreenLock: what closing a screen does
// when the program ends in the middle of a frame.  A lock this thread does
// not hold (a title change inside a frame lets it go for a moment) is not
// released.  Program's thread.
void ReleaseProgramScreenLock();

// The display lock: the window thread holds it for each tick, the
// program's thread from ScreenLock to the matching ScreenUnlock.
void LockDisplay();
void UnlockDisplay();

// Whether the window has the keyboard focus; set by the driver's message
// handling on the window thread.
void SetWindowActive(bool active);
bool WindowActive();

// One presentation tick without its pause (nor Deliver): under the display
// lock, AfterLock, present the band from the first to the last dirty row,
// clear every dirty flag, sample the keyboard while active, dispatch
// messages.
void PresentTick(const WindowHooks& hooks, ScreenContext& screen);

// PresentTick for a thread that must never wait (a browser page's own
// thread): while another thread holds the display lock it does nothing
// and returns false.
bool TryPresentTick(const WindowHooks& hooks, ScreenContext& screen);

// Milliseconds the window thread sleeps between ticks.
constexpr int WINDOW_TICK_MS = 10;

// How long the ticks held the display lock, split by whether they
// presented rows: what a program waiting in ScreenLock can be kept
// waiting (benchmarks).  Read and reset under the display lock.
struct WindowTickTimes {
  int64_t presentingTicks, presentingNanoseconds, longestPresentingNanoseconds;
  int64_t quietTicks, quietNanoseconds;
};
WindowTickTimes TickTimes();
void ResetTickTimes();

// --- A lost window ---

// The exit status of a program whose window was lost.
constexpr int WINDOW_LOST_EXIT_STATUS = 1;

// Records that the window can no longer be shown; reason is the message's
// text after the program's name, e.g. "lost the connection to the X
// display \":1\"".  The first report counts.  Clears the key-state table
// and marks the window inactive.  Called by a driver while it holds the
// display lock (on the window thread, or in a driver operation on the
// program's thread).
void ReportWindowLost(const std::string& reason);
bool WindowLost();

// LockDisplay on any thread but the window thread, once the window is
// lost, does not return: it writes "<program>: <reason>" as one line on
// standard error and calls exit(WINDOW_LOST_EXIT_STATUS).  Before that it
// releases every hold the thread has on the display lock and sets the lock
// count to 0, however deep in a frame (or in a title change inside one)
// it was.  Ending there, on the program's thread and holding nothing, lets
// the exit routines close the screen and restore the terminal while
// nothing draws; a program that went on would draw into a window nobody
// sees, waiting for keys that cannot come.

}  // namespace fb
