// Fuzz entry for the bitmap loader.  Each input is loaded, as a file held
// in memory, into images of every depth and of sizes smaller than, equal
// to and larger than typical inputs, and onto the screen, so that every
// converter, the clipping of the copy size and the screen path see it.
// Built with libFuzzer (tests/fuzz/CMakeLists.txt) or with replay_main.cpp.
#include <cstddef>
#include <cstdint>

#include <fb/gfx/bmp_decoder.h>
#include <fb/gfx/image.h>
#include <fb/platform/screen.h>

namespace {

struct FuzzTargets {
  fb::Image* images[6] = {};
};

FuzzTargets& Targets() {
  static FuzzTargets targets = [] {
    FuzzTargets t;
    if (fb::SetScreenMode(64, 64, 32, 0, fb::SCREEN_NULL, 0) != 0) return t;
    struct Shape {
      int width, height, depth;
    } shapes[] = {{1, 1, 32}, {7, 5, 32}, {64, 64, 32}, {5, 3, 16}, {33, 9, 16}, {9, 2, 8}};
    for (int i = 0; i < 6; ++i)
      t.images[i] = fb::CreateImage(shapes[i].width, shapes[i].height, 0, shapes[i].depth, -1);
    return t;
  }();
  return targets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzTargets& t = Targets();
  uint32_t palette[256];
  for (int i = 0; i < 6; ++i) {
    if (!t.images[i]) continue;
    // Every other image takes the palette destination instead of the
    // screen's colour map.
    fb::LoadBmpFromMemory(data, size, t.images[i], (i & 1) ? palette : nullptr);
  }
  fb::LoadBmpFromMemory(data, size, nullptr, nullptr);
  return 0;
}
