// The packed-instruction blit tables, one per instruction set.  Internal
// to the drawing services: PutImage picks the set the screen was opened
// with, PackedBlitTable the best one this processor runs.
#pragma once
#include "blit.h"

namespace fb {

// nullptr for modes without routines, as PlainBlitTable.
const BlitTable* Sse2BlitTable(PutMode mode);
const BlitTable* Avx2BlitTable(PutMode mode);

}  // namespace fb
