#include <cctype>
#include <cstdlib>
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
SettingReport driverSetting, scaleSetting;

// What a search made of the preferred name.
SettingVerdict DriverVerdict(std::span<const DisplayDriver* const> drivers, const char* preferred,
                             const DisplayDriver* found) {
  if (!preferred || !*preferred) return SettingVerdict::Unset;
  if (found && SameDriverName(found->name, preferred)) return SettingVerdict::Taken;
  for (const DisplayDriver* driver : drivers)
    if (driver && SameDriverName(driver->name, preferred)) return SettingVerdict::Refused;
  return SettingVerdict::Unusable;
}

std::string DriverNames() {
  std::string names;
  for (const DisplayDriver* driver : DriverList())
    if (driver) names += std::string(driver->name) + ", ";
  return names + NULL_DRIVER.name;
}

}  // namespace

void SetDisplayFailure(const std::string& reason) { displayFailure = reason; }

void NoteDisplayUnset(const std::string& variable) {
  for (const std::string& v : unsetDisplays)
    if (v == variable) return;
  unsetDisplays.push_back(variable);
}

const char* DisplayNamedBy(const char* variable) {
  const char* name = std::getenv(variable);
  if (!name)
    NoteDisplayUnset(variable);
  else if (!*name)
    SetDisplayFailure(std::string(variable) + " is empty");
  return name && *name ? name : nullptr;
}

const std::string& DisplayFailure() {
  if (!displayFailure.empty() || unsetDisplays.empty()) return displayFailure;
  unsetReason = unsetDisplays.size() == 1
                    ? unsetDisplays[0] + " is not set"
                    : "neither " + unsetDisplays[0] + " nor " + unsetDisplays[1] + " is set";
  return unsetReason;
}

const SettingReport& DriverSetting() { return driverSetting; }
const SettingReport& ScaleSetting() { return scaleSetting; }
void SetScaleSetting(const SettingReport& report) { scaleSetting = report; }

std::vector<std::string> SettingNotes() {
  std::vector<std::string> notes;
  const ScreenContext* screen = Screen();
  const std::string used =
      screen && screen->driver ? std::string(": ") + screen->driver->name + " is used" : "";
  const std::string driver = "SCRDRIVER=" + driverSetting.value;
  if (driverSetting.verdict == SettingVerdict::Unusable)
    notes.push_back(driver + " names no display driver (" + DriverNames() + ")" + used);
  else if (driverSetting.verdict == SettingVerdict::Refused && screen)
    notes.push_back(driver + " could not open" + used);
  const std::string scale = "FB_SCALE=" + scaleSetting.value;
  const std::string scaleUsed = ": scale " + std::to_string(scaleSetting.scale) + " is used";
  if (scaleSetting.verdict == SettingVerdict::Capped)
    notes.push_back(scale + " does not fit the screen" + scaleUsed);
  else if (scaleSetting.verdict == SettingVerdict::Unusable)
    notes.push_back(scale + " is not a whole number from 1 up" + scaleUsed);
  return notes;
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
  scaleSetting = SettingReport{};
  driverSetting = SettingReport{SettingVerdict::Unset, preferred ? preferred : "", 0};
  if (flags == SCREEN_NULL) return &NULL_DRIVER;  // SCRDRIVER is not consulted
  if (SameDriverName(preferred, NULL_DRIVER.name)) {
    driverSetting.verdict = SettingVerdict::Taken;
    return &NULL_DRIVER;
  }

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
        if (driver->Init(title, width, height, depth, refresh, passFlags) == 0) {
          driverSetting.verdict = DriverVerdict(drivers, preferred, driver);
          return driver;
        }
        if (driver->Exit) driver->Exit();
      }
    }
  }
  driverSetting.verdict = DriverVerdict(drivers, preferred, nullptr);
  if (displayFailure.empty() && unsetDisplays.empty())
    displayFailure = "no display driver could start";
  return nullptr;
}

}  // namespace fb
