// A platform file that reaches up into the drawing code.
#include "../gfx/context.h"
