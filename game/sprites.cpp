// Sprite loading.
#include "game/sprites.h"

#include <cstdio>
#include <memory>

#include <fb/gfx/bmp.h>
#include <fb/gfx/context.h>
#include <fb/gfx/path.h>

namespace shooter {

using namespace fb;  // the library's names read plainly in the game's code

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads count little-endian bytes at offset (2-byte fields are unsigned,
// 4-byte ones signed); false when the file ends first.
bool ReadLittleEndian(std::FILE* f, long offset, int count, int32_t& value) {
  if (std::fseek(f, offset, SEEK_SET) != 0) return false;
  uint8_t bytes[4] = {};
  if (std::fread(bytes, 1, size_t(count), f) != size_t(count)) return false;
  uint32_t v = 0;
  for (int i = count - 1; i >= 0; --i) v = (v << 8) | bytes[i];
  value = int32_t(v);
  return true;
}

}  // namespace

BmpSize ReadBmpSize(const std::string& fileName) {
  File f(std::fopen(NativePath(fileName.c_str()).c_str(), "rb"));
  if (!f) return {0, 0};
  char signature[2] = {};
  if (std::fread(signature, 1, 2, f.get()) != 2 || signature[0] != 'B' || signature[1] != 'M')
    return {0, 0};
  // The 12-byte core header keeps its size in 16-bit fields at 18 and 20;
  // every later header in 32-bit fields at 18 and 22.
  int32_t headerSize = 0;
  BmpSize size{0, 0};
  if (!ReadLittleEndian(f.get(), 14, 4, headerSize)) return {0, 0};
  bool core = headerSize == 12;
  if (!ReadLittleEndian(f.get(), 18, core ? 2 : 4, size.width) ||
      !ReadLittleEndian(f.get(), core ? 20 : 22, core ? 2 : 4, size.height))
    return {0, 0};
  return size;
}

Image* LoadIMGFile(const std::string& fileName) {
  BmpSize size = ReadBmpSize(fileName);
  Image* image = CreateImage(size.width, size.height, 0, 0, CoordFlags::NoColor);
  if (!image) return nullptr;
  // The loader's result is not needed: a picture it can't read leaves the
  // image transparent, which draws as nothing.
  LoadBmp(fileName.c_str(), image, nullptr);
  return image;
}

}  // namespace shooter
