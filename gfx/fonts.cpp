#include "font_data.h"
#include "text.h"

namespace fb {

const Font FONT_8X8{8, 8, kFont8x8};
const Font FONT_8X14{8, 14, kFont8x14};
const Font FONT_8X16{8, 16, kFont8x16};

}  // namespace fb
