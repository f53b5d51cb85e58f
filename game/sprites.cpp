// Sprite loading.
#include "game/sprites.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include <fb/gfx/bmp.h>
#include <fb/gfx/context.h>
#include <fb/gfx/path.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>

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

SpriteLoad OpenFailure(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return SpriteLoad::NoSuchFile;
    case EACCES:
    case EPERM:
      return SpriteLoad::NoPermission;
    default:
      return SpriteLoad::CannotOpen;
  }
}

// The size fields of a bitmap file's header; size stays {0, 0} unless the
// result is Loaded.
SpriteLoad ReadHeader(const std::string& fileName, BmpSize& size) {
  size = {0, 0};
  errno = 0;
  File f(std::fopen(NativePath(fileName.c_str()).c_str(), "rb"));
  if (!f) return OpenFailure(errno);
  char signature[2] = {};
  if (std::fread(signature, 1, 2, f.get()) != 2 || signature[0] != 'B' || signature[1] != 'M')
    return SpriteLoad::NotABitmap;
  // The 12-byte core header keeps its size in 16-bit fields at 18 and 20;
  // every later header in 32-bit fields at 18 and 22.
  int32_t headerSize = 0;
  BmpSize read{0, 0};
  if (!ReadLittleEndian(f.get(), 14, 4, headerSize)) return SpriteLoad::NotABitmap;
  bool core = headerSize == 12;
  if (!ReadLittleEndian(f.get(), 18, core ? 2 : 4, read.width) ||
      !ReadLittleEndian(f.get(), core ? 20 : 22, core ? 2 : 4, read.height))
    return SpriteLoad::NotABitmap;
  size = read;
  return SpriteLoad::Loaded;
}

}  // namespace

const char* SpriteLoadText(SpriteLoad result) {
  switch (result) {
    case SpriteLoad::Loaded: return "loaded";
    case SpriteLoad::NoSuchFile: return "no such file";
    case SpriteLoad::NoPermission: return "permission denied";
    case SpriteLoad::CannotOpen: return "the file cannot be opened";
    case SpriteLoad::NotABitmap: return "not a bitmap file";
    case SpriteLoad::UnusableSize: return "unusable picture size";
    case SpriteLoad::NoScreen: return "no screen is open";
    case SpriteLoad::NoMemory: return "out of memory";
    case SpriteLoad::Unreadable: return "unsupported or damaged bitmap";
  }
  return "unknown failure";
}

BmpSize ReadBmpSize(const std::string& fileName) {
  BmpSize size;
  ReadHeader(fileName, size);
  return size;
}

Image* LoadIMGFile(const std::string& fileName, SpriteLoad* result) {
  SpriteLoad ignored;
  SpriteLoad& outcome = result ? *result : ignored;
  BmpSize size;
  outcome = ReadHeader(fileName, size);
  if (outcome != SpriteLoad::Loaded) return nullptr;
  Image* image = CreateImage(size.width, size.height, 0, 0, CoordFlags::NoColor);
  if (!image) {
    const bool usable = size.width >= 1 && size.height >= 1 && size.width <= IMAGE_MAX_SIDE &&
                        size.height <= IMAGE_MAX_SIDE;
    outcome = !Screen() ? SpriteLoad::NoScreen
              : usable  ? SpriteLoad::NoMemory
                        : SpriteLoad::UnusableSize;
    return nullptr;
  }
  // A picture the loader can't read leaves the image transparent, which
  // draws as nothing; the image is still the caller's.
  if (LoadBmp(fileName.c_str(), image, nullptr) != BmpResult::Loaded)
    outcome = SpriteLoad::Unreadable;
  return image;
}

Image* LoadGamePicture(const std::string& fileName) {
  SpriteLoad result;
  Image* image = LoadIMGFile(fileName, &result);
  if (image) KeepSpriteRuns(image);
  if (result != SpriteLoad::Loaded)
    std::fprintf(stderr, "%s: cannot load %s: %s\n", ProgramName().c_str(),
                 NativePath(fileName.c_str()).c_str(), SpriteLoadText(result));
  return image;
}

}  // namespace shooter
