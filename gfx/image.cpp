#include "image.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "context.h"
#include "../platform/runtime.h"
#include "../platform/screen.h"

namespace fb {

Image* CreateImage(int32_t width, int32_t height, Color colour, int32_t depth, int32_t flags) {
  ScreenContext* screen = Screen();
  SetLastError(1);
  if (!screen || width < 1 || height < 1) return nullptr;
  if (width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE) return nullptr;
  int bpp = screen->bpp;
  if (depth > 0) {
    if (depth > 32) return nullptr;
    bpp = (depth + 7) / 8;
  }
  if (bpp != 1 && bpp != 2 && bpp != 4) return nullptr;

  uint64_t pitch = (uint64_t(width) * uint64_t(bpp) + 15) & ~uint64_t(15);
  uint64_t bytes = pitch * uint64_t(height);
  if (bytes > IMAGE_MAX_BYTES) return nullptr;
  auto* image = static_cast<Image*>(AllocAligned16(sizeof(Image) + size_t(bytes)));
  if (!image) return nullptr;
  image->type = IMAGE_TYPE;
  image->bpp = uint32_t(bpp);
  image->width = uint32_t(width);
  image->height = uint32_t(height);
  image->pitch = uint32_t(pitch);
  image->runsOwner = 0;
  image->spriteRuns = 0;

  uint32_t fill = flags < 0 ? TransparentPixel(bpp) : ConvertColor(bpp, colour);
  DrawContext* dc = GetDrawContext();
  SelectTarget(*dc, image);
  ChoosePixelRoutines(*dc, 0xFF000000);
  // The padding at the end of each row is filled too: it is part of the
  // image, and a blit that reads whole packed units may touch it.
  dc->pixel.FillSpan(ImagePixels(image), fill, size_t(bytes) / size_t(bpp));
  SetLastError(0);
  return image;
}

void DestroyImage(Image* image) {
  if (!image) return;
  // A later image may be allocated at the same address; the calling
  // thread must not mistake it for its current target.
  if (Screen()) {
    DrawContext* dc = GetDrawContext();
    if (dc->target == image) ForgetTarget(*dc);
  }
  NoteTargetFreed();  // a DotRun on it must stop writing
  DropSpriteRuns(image);
  FreeAligned16(image);
}

}  // namespace fb
