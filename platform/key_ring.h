// A ring of key codes with its key-hit flag, shared by the window's key
// queue (16 slots) and the console's (512 slots).  It holds one key fewer
// than its slots: a put into a full ring drops the oldest key.  No locking
// of its own: each owner says which thread may touch it.
#pragma once
#include <cstdint>

namespace fb {

template <int SLOTS>
struct KeyRing {
  int32_t codes[SLOTS] = {};
  int readIndex = 0;
  int writeIndex = 0;
  uint8_t keyHit = 0;  // 1 after a put, 0 after any take or flag read
};

template <int SLOTS>
void PutKeyCode(KeyRing<SLOTS>& ring, int32_t code) {
  ring.codes[ring.writeIndex] = code;
  ring.writeIndex = (ring.writeIndex + 1) % SLOTS;
  if (ring.writeIndex == ring.readIndex) ring.readIndex = (ring.readIndex + 1) % SLOTS;
  ring.keyHit = 1;
}

// Takes the oldest code into *code (0 when none waits) and clears the
// key-hit flag either way.  Returns whether a key was taken.
template <int SLOTS>
bool TakeKeyCode(KeyRing<SLOTS>& ring, int32_t* code) {
  const bool taken = ring.readIndex != ring.writeIndex;
  *code = 0;
  if (taken) {
    *code = ring.codes[ring.readIndex];
    ring.readIndex = (ring.readIndex + 1) % SLOTS;
  }
  ring.keyHit = 0;
  return taken;
}

template <int SLOTS>
bool KeyWaiting(const KeyRing<SLOTS>& ring) {
  return ring.readIndex != ring.writeIndex;
}

}  // namespace fb
