#include <cctype>
#include <string>
#include <vector>

#include "driver.h"
#include "screen.h"

namespace fb {

namespace {
std::span<const DisplayDriver* const> overrideList;
bool overridden = false;
std::string displayFailure;
std::vector<std::string> unsetDisplays;  // in the order noted, each once
std::string unsetReason;
}  // namespace

void SetDisplayFailure(const std::string& reason) { displayFailure = reason; }

void NoteDisplayUnset(const std::string& variable) {
  for (const std::string& v : unsetDisplays)
    if (v == variable) return;
  unsetDisplays.push_back(variable);
}

const std::string& DisplayFailure() {
  if (!displayFailure.empty() || unsetDisplays.empty()) return displayFailure;
  unsetReason = unsetDisplays.size() == 1
                    ? unsetDisplays[0] + " is not set"
                    : "neither " + unsetDisplays[0] + " nor " + unsetDisplays[1] + " is set";
  return unsetReason;
}

void SetDriverList(std::span<const DisplayDriver* const> drivers) {
  overrideList = drivers;
  overridden = !drivers.empty();
}

std::span<const DisplayDriver* const> DriverList() {
  return overridden ? overrideList : PlatformDrivers();
}

bool SameDriverName(const char* a, const char* b) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

const DisplayDriver* SelectDisplayDriver(std::span<const DisplayDriver* const> drivers,
                                         const char* preferred, const char* title,
                                         int32_t width, int32_t height, int32_t depth,
                                         int32_t refreshRate, int32_t flags) {
  displayFailure.clear();
  unsetDisplays.clear();
  if (flags == SCREEN_NULL || SameDriverName(preferred, "null")) return &NULL_DRIVER;

  struct Pass {
    bool onlyPreferred;
    bool invertFullscreen;
  };
  static constexpr Pass WITHOUT_NAME[] = {{false, false}, {false, true}};
  static constexpr Pass WITH_NAME[] = {{true, false}, {false, false}, {true, true}, {false, true}};
  const bool named = preferred && *preferred;
  std::span<const Pass> passes = named ? std::span<const Pass>(WITH_NAME) : std::span<const Pass>(WITHOUT_NAME);

  for (const Pass& pass : passes) {
    const int32_t passFlags = pass.invertFullscreen ? flags ^ SCREEN_FULLSCREEN : flags;
    for (const DisplayDriver* driver : drivers) {
      if (!driver || !driver->Init) continue;
      if (pass.onlyPreferred && !SameDriverName(driver->name, preferred)) continue;
      for (int32_t refresh : {refreshRate, 0}) {
        if (driver->Init(title, width, height, depth, refresh, passFlags) == 0) return driver;
        if (driver->Exit) driver->Exit();
      }
    }
  }
  return nullptr;
}

}  // namespace fb
