// Display drivers: one record of operations per driver, and the search
// that picks one for SetScreenMode.  An operation a driver lacks is
// nullptr; callers test for it.  Drivers are called on the program's
// thread; a windowed driver runs its own window thread behind them.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fb {

struct DisplayDriver {
  const char* name;
  // Opens the display; 0 on success, -1 on failure.
  int (*Init)(const char* title, int32_t width, int32_t height, int32_t depth,
              int32_t refreshRate, int32_t flags);
  void (*Exit)();
  void (*Lock)();    // takes the display lock
  void (*Unlock)();  // releases it
  void (*SetPalette)(int32_t index, int32_t red, int32_t green, int32_t blue);
  void (*WaitVSync)();
  // 0, or -1 while the window is inactive or the mouse is outside it.
  int (*GetMouse)(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t clipped);
  void (*SetMouse)(int32_t x, int32_t y, int32_t visible, int32_t clip);
  void (*SetWindowTitle)(const char* title);
  // Moves the window; INT32_MIN keeps a coordinate.  Returns the previous
  // position as (top << 16) | (left & 0xFFFF).
  int32_t (*SetWindowPosition)(int32_t x, int32_t y);
  // The display's modes of a depth as (width << 16) | height; count out.
  const int32_t* (*FetchModes)(int32_t depth, int32_t* count);
  void (*Flip)();
  void (*PollEvents)();
};

// The driver used for SCREEN_NULL and SCRDRIVER=null: no window, lock and
// unlock do nothing.
extern const DisplayDriver NULL_DRIVER;

// This platform's drivers in the order they are tried.
std::span<const DisplayDriver* const> PlatformDrivers();

// Replaces the driver list SetScreenMode searches (tests); an empty span
// restores the platform's list.
void SetDriverList(std::span<const DisplayDriver* const> drivers);
std::span<const DisplayDriver* const> DriverList();

// Case-insensitive comparison of driver names.
bool SameDriverName(const char* a, const char* b);

// Why the last driver search found no driver, in words that can follow
// "no screen could be opened: " (e.g. "DISPLAY is not set").  A driver
// whose Init fails sets it; each search starts by clearing it, and one
// that finds no driver without any saying why (nor noting an unset
// variable, below) sets "no display driver could start".  Program's
// thread.
void SetDisplayFailure(const std::string& reason);
const std::string& DisplayFailure();

// A driver whose display is not configured at all (its environment
// variable is unset) notes the variable instead of a failure: the reason
// is then "DISPLAY is not set", or with two such drivers "neither
// WAYLAND_DISPLAY nor DISPLAY is set", in the order they were tried.  A
// failure set with SetDisplayFailure wins, being news to the user.
void NoteDisplayUnset(const std::string& variable);
// The display the environment variable names, or nullptr when it is unset
// (noted as above) or empty (a failure).
const char* DisplayNamedBy(const char* variable);

// --- What became of the environment's settings ---
// The last SetScreenMode's verdict on SCRDRIVER and FB_SCALE, for the
// program to report: the library prints nothing.  Program's thread (a
// driver's window thread may set the scale while Init waits for it).

enum class SettingVerdict : int32_t {
  Unset,     // not given, or empty
  Taken,     // used as given
  Capped,    // a scale larger than fits the screen: the largest that fits is used
  Unusable,  // FB_SCALE not a whole number from 1 up, or SCRDRIVER naming no
             // driver: the automatic choice is used
  Refused,   // SCRDRIVER's driver could not open: the next that could is used
};

struct SettingReport {
  SettingVerdict verdict = SettingVerdict::Unset;
  std::string value;  // the setting as the library read it
  int32_t scale = 0;  // FB_SCALE: the scale the window uses; 0 for no scaling driver
};

// SCRDRIVER: set by every driver search.
const SettingReport& DriverSetting();
// FB_SCALE: set by a driver whose window scales (X11) when it opens;
// cleared by every driver search.
const SettingReport& ScaleSetting();
void SetScaleSetting(const SettingReport& report);

// One line of words for each setting not taken as given, to follow the
// program's name: "FB_SCALE=99 does not fit the screen: scale 1 is used".
// Empty when every setting was taken or unset.
std::vector<std::string> SettingNotes();

// Searches drivers for one whose Init succeeds.  preferred (may be null or
// empty) is the SCRDRIVER name.  Flags -1 or a preferred "null" give the
// Null driver.  Without a preferred name: a pass with the flags as given,
// then one with SCREEN_FULLSCREEN inverted; with one: that driver, all
// drivers, that driver inverted, all inverted.  Each driver is tried with
// the refresh rate and then with 0; a failed Init is followed by its Exit.
// Returns the driver whose Init succeeded, or nullptr.  Sets
// DisplayFailure and DriverSetting, and clears ScaleSetting.
const DisplayDriver* SelectDisplayDriver(std::span<const DisplayDriver* const> drivers,
                                         const char* preferred, const char* title,
                                         int32_t width, int32_t height, int32_t depth,
                                         int32_t refreshRate, int32_t flags);

}  // namespace fb
