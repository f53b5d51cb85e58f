// The game reaches the library through the source tree instead of <fb/...>.
#include "gfx/context.h"
