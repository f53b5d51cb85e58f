// The "Null" driver: no window at all.  Drawing goes to the framebuffer
// and is never shown; lock and unlock do nothing, as there is no window
// thread to keep out.
#include "../driver.h"

namespace fb {

namespace {
void NoLock() {}
}  // namespace

const DisplayDriver NULL_DRIVER = {
    "Null",  nullptr, nullptr, NoLock,  NoLock,  nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace fb
