// The driver probe: a program of the library that opens a screen on
// whatever driver SCRDRIVER names and answers commands, one line each, on
// its standard input.  A test on the X side (tests/wine_window_test.cpp)
// runs it natively or under Wine and watches its window as a user would:
// the window's pixels, keys typed into it, requests of the window manager.
//
// Commands and answers (numbers in decimal):
//   open W H DEPTH FLAGS  -> "ok DRIVER" or "fail"
//   only-mode W H         -> "ok": full screen, the display seems to offer
//                            W x H alone (OfferOnlyMode)
//   pattern               -> "ok": the framebuffer filled with Pattern(x, y)
//   rows R1 R2 RGB        -> "ok": rows R1 and R2 painted, each unlocked alone
//   count                 -> "PRESENTS ROWS": the driver's presentation counters
//   keydown SCANCODE      -> "-1" or "0"
//   keys                  -> every waiting key, its ReadKey bytes in hex, spaced
//   events                -> the kinds of the waiting window events, spaced
//   exit-locked           -> the program ends inside ScreenLock, answering nothing
//   quit                  -> "bye", and the program ends normally
// Every command ends a frame as a program does, with a flip of the visible
// page (CopyPage): a driver without a window thread ("OpenGL") presents
// and handles its window's messages only then.  Before a command is read
// the probe flips too, so that what the window heard meanwhile counts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include <fb/platform/driver.h>
#include <fb/platform/events.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>
#include "probe_platform.h"

namespace {

// The picture of "pattern", 0xRRGGBB; the X-side test computes the same.
uint32_t Pattern(int x, int y) {
  return uint32_t((x * 3) & 0xFF) << 16 | uint32_t((y * 5) & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
}

void Answer(const std::string& line) {
  std::cout << line << std::endl;  // flushed: the other side waits for it
}

void FillRow(fb::ScreenContext& s, int row, uint32_t (*colour)(int x, int y), uint32_t rgb) {
  auto* pixels = reinterpret_cast<uint32_t*>(s.framebuffer + size_t(row) * size_t(s.pitch));
  for (int x = 0; x < s.width; ++x) pixels[x] = 0xFF000000u | (colour ? colour(x, row) : rgb);
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    out += digits;
  }
  return out;
}

void EndFrame() {
  if (const fb::ScreenContext* s = fb::Screen()) fb::CopyPage(s->visiblePage, s->visiblePage);
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    EndFrame();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream in(line);
    std::string command;
    in >> command;
    fb::ScreenContext* s = fb::Screen();
    if (command == "open") {
      int width = 0, height = 0, depth = 0, flags = 0;
      in >> width >> height >> depth >> flags;
      if (fb::SetScreenMode(width, height, depth, 0, flags, 0) == 0) {
        EndFrame();
        Answer(std::string("ok ") + fb::Screen()->driver->name);
      } else
        Answer("fail");
    } else if (command == "only-mode") {
      int width = 0, height = 0;
      in >> width >> height;
      fbprobe::OfferOnlyMode(width, height);
      Answer("ok");
    } else if (command == "pattern" && s && s->bpp == 4) {
      fb::ScreenLock();
      for (int y = 0; y < s->height; ++y) FillRow(*s, y, Pattern, 0);
      fb::ScreenUnlock(-1, -1);
      EndFrame();
      Answer("ok");
    } else if (command == "rows" && s && s->bpp == 4) {
      int first = 0, second = 0;
      uint32_t rgb = 0;
      in >> first >> second >> rgb;
      for (int row : {first, second}) {
        fb::ScreenLock();
        FillRow(*s, row, nullptr, rgb);
        fb::ScreenUnlock(row, row);
      }
      EndFrame();
      Answer("ok");
    } else if (command == "count") {
      const fbprobe::PresentCount count = fbprobe::PresentCountOfWindow();
      Answer(std::to_string(count.presents) + " " + std::to_string(count.rows));
    } else if (command == "keydown") {
      int scancode = 0;
      in >> scancode;
      Answer(std::to_string(fb::KeyDown(scancode)));
    } else if (command == "keys") {
      std::string out;
      for (std::string key = fb::ReadKey(); !key.empty(); key = fb::ReadKey())
        out += (out.empty() ? "" : " ") + Hex(key);
      Answer(out);
    } else if (command == "events") {
      std::string out;
      fb::Event event;
      while (fb::GetEvent(&event)) out += (out.empty() ? "" : " ") + std::to_string(event.kind);
      Answer(out);
    } else if (command == "exit-locked") {
      fb::ScreenLock();
      std::exit(0);  // the exit routine closes the screen with the lock held
    } else if (command == "quit") {
      Answer("bye");
      return 0;
    } else {
      Answer("error: " + line);
    }
  }
  return 0;
}
