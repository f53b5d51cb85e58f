// Sprite runs: a put by an image's runs leaves exactly what the same put
// leaves without them, and runs never outlive a change of the pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include <fb/gfx/blit.h>
#include <fb/gfx/bmp_decoder.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>
#include <fb/platform/cpu.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>

namespace fb {
namespace {

constexpr int W = 40, H = 30;

struct Guard {
  ~Guard() {
    CloseScreen();
    ForceCpuFeatures(~0u);
  }
};

size_t Bytes(const Image* image) { return size_t(image->pitch) * image->height; }

// Everything a put may change: the target's pixels and the screen's marks.
std::vector<uint8_t> State(const Image* target) {
  const ScreenContext* s = Screen();
  std::vector<uint8_t> all(s->dirtyRows, s->dirtyRows + s->height);
  const uint8_t* p = target ? ImagePixels(target) : s->framebuffer;
  all.insert(all.end(), p, p + (target ? Bytes(target) : size_t(s->pitch) * s->height));
  return all;
}

// Random pixels of one of several kinds: scattered transparent pixels at
// some density, or opaque and transparent stretches of random lengths.
// At 4 bytes the transparent ones carry any alpha byte.
void Fill(Image* image, std::mt19937& rng) {
  const int bpp = int(image->bpp), kind = int(rng() % 6);
  const unsigned percentOpaque[] = {100, 90, 50, 10, 0};
  const uint32_t mask = bpp == 4 ? 0xFFFFFFu : bpp == 2 ? 0xFFFFu : 0xFFu;
  const uint32_t key = bpp == 4 ? TRANSPARENT_COLOR_32 : TransparentPixel(bpp);
  bool opaque = true;
  uint8_t* p = ImagePixels(image);
  for (size_t i = 0; i + size_t(bpp) <= Bytes(image); i += size_t(bpp)) {
    if (kind < 5)
      opaque = rng() % 100 < percentOpaque[kind];
    else if (rng() % 5 == 0)
      opaque = !opaque;  // stretches of five pixels on average
    uint32_t v = rng();
    if (!opaque)
      v = (v & ~mask) | key;
    else if ((v & mask) == key)
      v ^= 1;
    std::memcpy(p + i, &v, size_t(bpp));
  }
}

// Random images, keys, modes, alphas, rectangles and places, onto the
// screen and onto another image, in the plain and the packed set: the put
// from an image with runs must give what the same put from its twin
// without runs gives, bit for bit, dirty rows and results included; and
// the source keeps its runs.
TEST(SpriteRuns, PutTheSamePixelsAsWithout) {
  Guard guard;
  std::mt19937 rng(2024);
  const int32_t alphas[] = {255, -1, 511, 249, 248, 200, 1, 0};
  for (uint32_t features : {0u, ~0u})
    for (int depth : {8, 16, 32}) {
      ForceCpuFeatures(features);
      ASSERT_EQ(SetScreenMode(W, H, depth, 0, SCREEN_NULL, 0), 0);
      for (int trial = 0; trial < 300; ++trial) {
        const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 12);
        Image* sprite = CreateImage(w, h, 0, depth, -1);
        Image* twin = CreateImage(w, h, 0, depth, -1);
        Image* canvas = CreateImage(W - 3, H - 5, 0, depth, 0);
        Fill(sprite, rng);
        std::memcpy(ImagePixels(twin), ImagePixels(sprite), Bytes(sprite));
        ASSERT_EQ(KeepSpriteRuns(sprite), 0);
        Image* target = rng() % 4 == 0 ? canvas : nullptr;
        const PutMode mode = rng() % 3 ? PutMode::Blend : PutMode::Transparent;
        const int32_t alpha = alphas[rng() % std::size(alphas)];
        const float x = float(int(rng() % (W + 2 * w)) - w);
        const float y = float(int(rng() % (H + 2 * h)) - h);
        int32_t corners[4] = {PUT_WHOLE_IMAGE, 0, 0, 0};
        if (rng() % 2)
          for (int32_t& c : corners) c = int32_t(rng() % 90) - 10;
        SCOPED_TRACE(testing::Message() << "features " << features << " depth " << depth
                                        << " trial " << trial << " mode " << int(mode) << " alpha "
                                        << alpha << " size " << w << "x" << h << " at " << x << ","
                                        << y << (target ? " on an image" : ""));
        const size_t screenBytes = size_t(Screen()->pitch) * H;
        std::vector<uint8_t> start(screenBytes + Bytes(canvas)), got[2];
        for (uint8_t& b : start) b = uint8_t(rng());
        for (int i = 0; i < 2; ++i) {
          std::memcpy(Screen()->framebuffer, start.data(), screenBytes);
          std::memcpy(ImagePixels(canvas), start.data() + screenBytes, Bytes(canvas));
          std::memset(Screen()->dirtyRows, 0, H);
          SetLastError(7);
          const int32_t result = PutImage(target, x, y, i ? twin : sprite, corners[0], corners[1],
                                          corners[2], corners[3], 0, mode, alpha);
          got[i] = State(target);
          got[i].insert(got[i].end(), {uint8_t(result), uint8_t(LastError())});
        }
        EXPECT_TRUE(HasSpriteRuns(sprite));
        ASSERT_EQ(got[0], got[1]);
        for (Image* image : {sprite, twin, canvas}) DestroyImage(image);
      }
      CloseScreen();
    }
}

// Every way the pixels of an image with runs can change: afterwards it has
// none (or, asked for again, runs of the new pixels), and a put from it
// gives what a put from a plain copy of its pixels gives.  Reading leaves
// them.  A copy of the header elsewhere neither uses nor frees them.
TEST(SpriteRuns, NoWriteLeavesThemStale) {
  Guard guard;
  ASSERT_EQ(SetScreenMode(W, H, 32, 0, SCREEN_NULL, 0), 0);
  constexpr int w = 12, h = 9;
  Image* other = CreateImage(w, h, 0xFF102030u, 32, 0);
  // held: an address of the pixels taken before the runs were made.
  using Change = void (*)(Image* image, Image* other, uint8_t* held);
  const struct {
    const char* name;
    bool keepsRuns;
    Change change;
  } cases[] = {
      {"put onto it", false,
       [](Image* i, Image* o, uint8_t*) {
         PutImage(i, 2, 1, o, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, 255);
       }},
      {"put onto itself", false,
       [](Image* i, Image*, uint8_t*) {
         PutImage(i, 3, 2, i, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Transparent, 0);
       }},
      {"pixel", false, [](Image* i, Image*, uint8_t*) { SetPixel(i, 0, 0, 0xFF445566u, 4); }},
      {"box", false,
       [](Image* i, Image*, uint8_t*) { DrawLine(i, 1, 1, 5, 3, 0xFF778899u, 2, 0xFFFF, 0); }},
      {"circle", false,
       [](Image* i, Image*, uint8_t*) {
         DrawCircle(i, 6, 4, 3, 0xFF0000FFu, 0, 0, FULL_CIRCLE, 1, 4);
       }},
      {"text", false, [](Image* i, Image*, uint8_t*) { DrawText(i, 0, 0, 4, "Hi", 0xFFFFFFFFu); }},
      {"loaded", false,
       [](Image* i, Image*, uint8_t*) {
         // A raw dump of 72 bytes: a header of 32 and 40 of pixels.
         std::vector<uint8_t> dump = {0xFE, 72, 0, 0, 0};
         dump.resize(dump.size() + 72, 0x33);
         LoadBmpFromMemory(dump.data(), dump.size(), i, nullptr);
       }},
      {"writable pixels", false,
       [](Image* i, Image*, uint8_t*) { std::memset(ImagePixels(i) + 8, 0x5A, 20); }},
      {"dots begun before the runs", false,
       [](Image* i, Image*, uint8_t*) {
         DotRun run = BeginDots(i);
         KeepSpriteRuns(i);
         DrawDot(run, 4, 4, 0xFF00FF00u);
         EndDots(run);
       }},
      {"written by an old address, asked again", true,
       [](Image* i, Image*, uint8_t* held) {
         std::memset(held + 40, 0x6B, 24);
         KeepSpriteRuns(i);
       }},
      {"read", true,
       [](Image* i, Image*, uint8_t*) {
         SetPixel(nullptr, 0, 0, ImagePixels(static_cast<const Image*>(i))[0], 4);
         PutImage(nullptr, 1, 1, i, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, 255);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Image* image = CreateImage(w, h, 0, 32, -1);
    Image* plain = CreateImage(w, h, 0, 32, -1);
    uint8_t* const held = ImagePixels(image);
    // Transparent corners around an opaque middle, as a sprite's.
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t v = (x + y) % 5 ? 0xFF000000u | uint32_t(x * 16 + y) : TRANSPARENT_FILL_32;
        std::memcpy(held + y * image->pitch + 4 * x, &v, 4);
      }
    ASSERT_EQ(KeepSpriteRuns(image), 0);
    c.change(image, other, held);
    EXPECT_EQ(HasSpriteRuns(image), c.keepsRuns);
    std::memcpy(ImagePixels(plain), ImagePixels(static_cast<const Image*>(image)), Bytes(image));
    std::vector<uint8_t> got[2];
    for (int i = 0; i < 2; ++i) {
      std::memset(Screen()->framebuffer, 0x21, size_t(Screen()->pitch) * H);
      PutImage(nullptr, 5, 6, i ? plain : image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, 255);
      got[i] = State(nullptr);
    }
    EXPECT_EQ(got[0], got[1]);
    DestroyImage(image);
    DestroyImage(plain);
  }

  // The whole block copied elsewhere, header and all: not the image the
  // runs describe, so a put from it reads its own pixels, and dropping
  // its runs leaves the original's (AddressSanitizer sees a second free).
  Image* image = CreateImage(w, h, 0xFF808080u, 32, 0);
  ASSERT_EQ(KeepSpriteRuns(image), 0);
  std::vector<uint8_t> block(sizeof(Image) + Bytes(image) + 16);
  Image* copy = reinterpret_cast<Image*>(block.data() + (16 - uintptr_t(block.data()) % 16) % 16);
  std::memcpy(static_cast<void*>(copy), image, sizeof(Image) + Bytes(image));
  EXPECT_FALSE(HasSpriteRuns(copy));
  std::memset(reinterpret_cast<uint8_t*>(copy) + sizeof(Image), 0x40, Bytes(image));
  std::memset(Screen()->framebuffer, 0, size_t(Screen()->pitch) * H);
  PutImage(nullptr, 0, 0, copy, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, 255);
  EXPECT_EQ(Screen()->framebuffer[0], 0x40);
  DropSpriteRuns(copy);
  EXPECT_TRUE(HasSpriteRuns(image));
  DestroyImage(image);

  // What has no runs to keep: no image, or a header of no pixels.
  Image empty{IMAGE_TYPE, 4, 0, 1, 16, 0, 0};
  for (Image* none : {static_cast<Image*>(nullptr), &empty}) {
    SetLastError(0);
    EXPECT_EQ(KeepSpriteRuns(none), 1);
    EXPECT_EQ(LastError(), 1);
    EXPECT_FALSE(HasSpriteRuns(none));
  }
  DestroyImage(other);
}

}  // namespace
}  // namespace fb
