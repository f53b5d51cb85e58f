// The console's key ring and the decoding of its byte-stream input, shared
// by the platforms' console files.
#include "console_stream.h"

#include <chrono>

#include "console.h"
#include "key_ring.h"
#include "keyboard.h"

namespace fb {

namespace {

KeyRing<CONSOLE_RING_SLOTS> ring;
TerminalDecoder decoder;
bool endOfInput = false;  // KEY_CLOSE has been put for it
// When the last byte arrived; a lone Escape pending for longer than
// ESCAPE_WAIT is the Escape key, not the start of a sequence.
std::chrono::steady_clock::time_point lastInput;
constexpr auto ESCAPE_WAIT = std::chrono::milliseconds(30);

void PutDecoded(int32_t code, void*) { ConsolePutKey(code); }

bool EscapePending() { return decoder.pendingLength == 1 && decoder.pending[0] == 0x1B; }

}  // namespace

void FeedConsoleBytes(const char* bytes, size_t length) {
  DecodeTerminalInput(decoder, bytes, length, false, PutDecoded, nullptr);
  lastInput = std::chrono::steady_clock::now();
}

void NoteConsoleQuiet() {
  if (EscapePending() && std::chrono::steady_clock::now() - lastInput >= ESCAPE_WAIT)
    DecodeTerminalInput(decoder, nullptr, 0, true, PutDecoded, nullptr);
}

void NoteConsoleEndOfInput() {
  if (endOfInput) return;
  DecodeTerminalInput(decoder, nullptr, 0, true, PutDecoded, nullptr);
  ConsolePutKey(KEY_CLOSE);
  endOfInput = true;
}

void ConsolePutKey(int32_t code) { PutKeyCode(ring, code); }

int32_t ConsoleTakeKey() {
  int32_t code = 0;
  TakeKeyCode(ring, &code);
  return code;
}

bool ConsoleKeyHit() { return KeyWaiting(ring); }

bool ConsoleTakeKeyHitFlag() {
  // A closed console keeps answering "hit": nothing can ever be typed
  // again, so a wait for a key must not last forever.
  bool hit = ring.keyHit == 1 || endOfInput;
  ring.keyHit = 0;
  return hit;
}

bool ConsoleInputEnded() { return endOfInput; }

void ResetConsole() {
  ring = KeyRing<CONSOLE_RING_SLOTS>{};
  decoder = TerminalDecoder{};
  endOfInput = false;
  ResetPlatformConsole();
}

}  // namespace fb
