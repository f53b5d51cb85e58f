// Terminal input to key codes.  A terminal in non-canonical mode delivers
// bytes: characters (UTF-8), control bytes, and escape sequences for the
// keys that type nothing.  They become the codes a window's keys give:
// code page 437 characters and extended keys, so a reader cannot tell the
// console from the window.  Platform-free; the decoder's state is the
// record the caller keeps between reads.
#include <cstdint>
#include <cstring>

#include "console.h"
#include "keyboard.h"

namespace fb {

namespace {

constexpr uint8_t ESC = 0x1B;
// The longest sequence kept; a longer one is skipped up to its final byte
// and dropped, since no key sequence we know is that long.
constexpr size_t PENDING_LIMIT = sizeof(TerminalDecoder::pending);

struct Sink {
  void (*put)(int32_t code, void* user);
  void* user;
  void operator()(int32_t code) const { put(code, user); }
};

void Clear(TerminalDecoder& d) { d.pendingLength = 0; }

void Append(TerminalDecoder& d, uint8_t byte) {
  if (d.pendingLength < PENDING_LIMIT - 1) {
    d.pending[d.pendingLength++] = static_cast<char>(byte);
  } else {
    d.pendingLength = PENDING_LIMIT;  // overflowed: skipping to the end
  }
}

uint8_t PendingByte(const TerminalDecoder& d, size_t i) {
  return static_cast<uint8_t>(d.pending[i]);
}

// A code point as a code page 437 key code ('?' when the code page lacks
// it); the C1 controls type nothing.
void PutCodePoint(uint32_t codePoint, Sink put) {
  if (codePoint < 0xA0) return;  // only reached for U+0080..U+009F
  put(TypedCharacter(codePoint));
}

// A byte outside any sequence.  Enter arrives as CR or, with the input
// mapping of most terminals, as LF; Backspace arrives as DEL.  NUL types
// nothing: code 0 means "no key" to every reader.
void PutPlainByte(uint8_t byte, Sink put) {
  if (byte == 0) return;
  if (byte == '\n') return put(13);
  if (byte == 0x7F) return put(8);
  put(byte);
}

int Utf8Length(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;  // continuation byte, overlong lead or out of range
}

// The second byte's range excludes overlong forms, surrogates and code
// points past U+10FFFF.
bool Utf8ByteFits(uint8_t lead, size_t position, uint8_t byte) {
  if (byte < 0x80 || byte > 0xBF) return false;
  if (position != 1) return true;
  if (lead == 0xE0) return byte >= 0xA0;
  if (lead == 0xED) return byte <= 0x9F;
  if (lead == 0xF0) return byte >= 0x90;
  if (lead == 0xF4) return byte <= 0x8F;
  return true;
}

void Start(TerminalDecoder& d, uint8_t byte, Sink put) {
  if (byte == ESC || Utf8Length(byte) != 0) {
    d.pending[0] = static_cast<char>(byte);
    d.pendingLength = 1;
  } else if (byte < 0x80) {
    PutPlainByte(byte, put);
  }
  // Stray continuation bytes and invalid leads are dropped.
}

void FeedUtf8(TerminalDecoder& d, uint8_t byte, Sink put) {
  uint8_t lead = PendingByte(d, 0);
  if (!Utf8ByteFits(lead, d.pendingLength, byte)) {
    // A broken sequence is dropped; the byte that broke it starts afresh.
    Clear(d);
    Start(d, byte, put);
    return;
  }
  Append(d, byte);
  const int length = Utf8Length(lead);
  if (static_cast<int>(d.pendingLength) < length) return;
  uint32_t codePoint = lead & (0xFF >> (length + 1));
  for (int i = 1; i < length; i++) codePoint = (codePoint << 6) | (PendingByte(d, i) & 0x3F);
  Clear(d);
  PutCodePoint(codePoint, put);
}

// A key named by an escape sequence: its scancode, and whether it is one
// of the cursor-block keys that the extended-key table translates.
struct SequenceKey {
  int scancode;
  bool extended;
};
constexpr SequenceKey NO_KEY{0, false};

// The modifier parameter of xterm-style sequences is 1 + a bit set:
// 1 Shift, 2 Alt, 4 Ctrl (8, Meta, is ignored).
uint32_t ControlStateOfModifier(int modifier) {
  int bits = modifier > 1 ? modifier - 1 : 0;
  uint32_t state = 0;
  if (bits & 1) state |= CTRL_STATE_SHIFT;
  if (bits & 2) state |= CTRL_STATE_LEFT_ALT;
  if (bits & 4) state |= CTRL_STATE_LEFT_CTRL;
  return state;
}

void PutSequenceKey(SequenceKey key, int modifier, Sink put) {
  if (key.scancode == 0) return;  // unknown sequence: dropped whole
  uint32_t state = ControlStateOfModifier(modifier);
  if (key.extended) state |= CTRL_STATE_EXTENDED;
  int32_t code = TranslateKey(0, key.scancode, state, 0);
  if (code == KEY_NONE) code = TranslateKey(0, key.scancode, state & CTRL_STATE_EXTENDED, 0);
  // Alt+F4 would read as the close box; a window swallows it, and so do we.
  if (code == KEY_CLOSE || code == KEY_NONE) return;
  put(code);
}

// Final letters shared by the CSI and SS3 forms.
SequenceKey KeyOfLetter(uint8_t letter) {
  switch (letter) {
    case 'A': return {0x48, true};  // Up
    case 'B': return {0x50, true};  // Down
    case 'C': return {0x4D, true};  // Right
    case 'D': return {0x4B, true};  // Left
    case 'H': return {0x47, true};  // Home
    case 'F': return {0x4F, true};  // End
    case 'E': return {0x4C, false};  // keypad 5 without Num Lock
    case 'P': return {59, false};   // F1
    case 'Q': return {60, false};
    case 'R': return {61, false};
    case 'S': return {62, false};   // F4
    default: return NO_KEY;
  }
}

// ESC [ n ~ keys.
SequenceKey KeyOfTildeNumber(int n) {
  switch (n) {
    case 1: case 7: return {0x47, true};  // Home
    case 2: return {0x52, true};          // Insert
    case 3: return {0x53, true};          // Delete
    case 4: case 8: return {0x4F, true};  // End
    case 5: return {0x49, true};          // Page Up
    case 6: return {0x51, true};          // Page Down
    case 11: case 12: case 13: case 14: case 15: return {59 + (n - 11), false};  // F1-F5
    case 17: case 18: case 19: case 20: case 21: return {64 + (n - 17), false};  // F6-F10
    case 23: return {87, false};  // F11
    case 24: return {88, false};  // F12
    default: return NO_KEY;
  }
}

// Splits the parameter bytes "n;m" into up to two numbers (absent: -1).
// false for anything else: private markers, intermediates, more numbers.
bool ParseParameters(const char* bytes, size_t length, int* first, int* second) {
  int values[2] = {-1, -1};
  int index = 0;
  for (size_t i = 0; i < length; i++) {
    char c = bytes[i];
    if (c == ';') {
      if (++index > 1) return false;
    } else if (c >= '0' && c <= '9') {
      int v = values[index] < 0 ? 0 : values[index];
      if (v > 999) return false;  // no key number is that long
      values[index] = v * 10 + (c - '0');
    } else {
      return false;
    }
  }
  *first = values[0];
  *second = values[1];
  return true;
}

void FinishCsi(const TerminalDecoder& d, uint8_t final, Sink put) {
  int n = -1;
  int modifier = -1;
  if (d.pendingLength >= PENDING_LIMIT ||
      !ParseParameters(d.pending + 2, d.pendingLength - 2, &n, &modifier)) {
    return;
  }
  if (final == '~') return PutSequenceKey(KeyOfTildeNumber(n), modifier, put);
  if (final == 'Z' && n < 0) {
    // Back-tab: the terminal's name for Shift+Tab.
    int32_t code = TranslateKey('\t', 15, CTRL_STATE_SHIFT, '\t');
    return put(code);
  }
  // Letter forms carry no key number; a modifier comes as "1;m".
  if (n > 1) return;
  PutSequenceKey(KeyOfLetter(final), modifier, put);
}

void FinishSs3(const TerminalDecoder& d, uint8_t final, Sink put) {
  // Old terminals put a bare modifier digit between O and the letter.
  int modifier = -1;
  int unused = -1;
  if (d.pendingLength >= PENDING_LIMIT ||
      !ParseParameters(d.pending + 2, d.pendingLength - 2, &modifier, &unused) || unused >= 0) {
    return;
  }
  PutSequenceKey(KeyOfLetter(final), modifier, put);
}

void FeedEscape(TerminalDecoder& d, uint8_t byte, Sink put) {
  if (d.pendingLength == 1) {
    if (byte == '[' || byte == 'O') return Append(d, byte);
    // Escape and then another key, read together: both keys count.  A
    // terminal that sends Alt+key as ESC key gets Escape and the key.
    Clear(d);
    put(27);
    Start(d, byte, put);
    return;
  }
  const bool csi = PendingByte(d, 1) == '[';
  // ESC [ [ A .. ESC [ [ E: F1 to F5 on the Linux console.
  if (csi && d.pendingLength == 2 && byte == '[') return Append(d, byte);
  if (csi && d.pendingLength == 3 && PendingByte(d, 2) == '[') {
    Clear(d);
    if (byte >= 'A' && byte <= 'E') return PutSequenceKey({59 + (byte - 'A'), false}, -1, put);
    if (byte < 0x20 || byte >= 0x7F) Start(d, byte, put);
    return;
  }
  if (byte >= 0x20 && byte <= 0x3F) return Append(d, byte);  // parameter or intermediate
  if (byte >= 0x40 && byte <= 0x7E) {
    if (csi) {
      FinishCsi(d, byte, put);
    } else {
      FinishSs3(d, byte, put);
    }
    Clear(d);
    return;
  }
  // A control byte or a non-ASCII byte cannot be part of a sequence: the
  // broken sequence is dropped and the byte is read as itself.
  Clear(d);
  Start(d, byte, put);
}

}  // namespace

void DecodeTerminalInput(TerminalDecoder& decoder, const char* bytes, size_t length, bool flush,
                         void (*put)(int32_t code, void* user), void* user) {
  const Sink sink{put, user};
  for (size_t i = 0; i < length; i++) {
    const uint8_t byte = static_cast<uint8_t>(bytes[i]);
    if (decoder.pendingLength == 0) {
      Start(decoder, byte, sink);
    } else if (PendingByte(decoder, 0) == ESC) {
      FeedEscape(decoder, byte, sink);
    } else {
      FeedUtf8(decoder, byte, sink);
    }
  }
  // Nothing follows a lone Escape when the caller says the input has gone
  // quiet: it was the Escape key itself.
  if (flush && decoder.pendingLength == 1 && PendingByte(decoder, 0) == ESC) {
    Clear(decoder);
    sink(27);
  }
}

}  // namespace fb
