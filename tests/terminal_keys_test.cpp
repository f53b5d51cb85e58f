// Terminal bytes to key codes: characters, UTF-8, escape sequences, and
// sequences split between reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fb/platform/console.h>
#include <fb/platform/keyboard.h>

namespace fb {
namespace {

void Collect(int32_t code, void* user) { static_cast<std::vector<int32_t>*>(user)->push_back(code); }

std::vector<int32_t> Decode(TerminalDecoder& decoder, const std::string& bytes, bool flush) {
  std::vector<int32_t> codes;
  DecodeTerminalInput(decoder, bytes.data(), bytes.size(), flush, Collect, &codes);
  return codes;
}

struct DecodeCase {
  const char* what;
  std::string bytes;
  std::vector<int32_t> codes;
};

int32_t X(int c) { return ExtendedKey(c); }

const std::vector<DecodeCase>& Cases() {
  static const std::vector<DecodeCase> cases = {
      {"printable", "wasd 1", {'w', 'a', 's', 'd', ' ', '1'}},
      {"Enter as CR or LF", "\r\n", {13, 13}},
      {"Backspace as DEL or ^H", "\x7f\b", {8, 8}},
      {"Tab and control letters", "\t\x01\x1a", {9, 1, 26}},
      {"NUL types nothing", std::string("a\0b", 3), {'a', 'b'}},
      {"e acute", "\xc3\xa9", {-126}},
      {"u umlaut, pound, nbsp", "\xc3\xbc\xc2\xa3\xc2\xa0", {-127, -100, -1}},
      {"box drawing and Greek", "\xe2\x96\x88\xce\xb1", {-37, -32}},
      {"character outside code page 437", "\xe2\x82\xac", {'?'}},
      {"four-byte character", "\xf0\x9f\x98\x80", {'?'}},
      {"C1 control types nothing", "\xc2\x85", {}},
      {"stray continuation and bad leads", "\x80\xc0\xaf\xff" "a", {'a'}},
      {"overlong and surrogate forms", "\xe0\x80\x80\xed\xa0\x80" "b", {'b'}},
      {"broken sequence: the next byte survives", "\xc3" "A", {'A'}},
      {"Up Down Right Left", "\x1b[A\x1b[B\x1b[C\x1b[D", {X(0x48), X(0x50), X(0x4D), X(0x4B)}},
      {"application cursor keys", "\x1bOA\x1bOD", {X(0x48), X(0x4B)}},
      {"Home forms", "\x1b[H\x1b[1~\x1b[7~\x1bOH", {X(0x47), X(0x47), X(0x47), X(0x47)}},
      {"End forms", "\x1b[F\x1b[4~\x1b[8~\x1bOF", {X(0x4F), X(0x4F), X(0x4F), X(0x4F)}},
      {"PgUp PgDn Insert Delete", "\x1b[5~\x1b[6~\x1b[2~\x1b[3~", {X(0x49), X(0x51), X(0x52), X(0x53)}},
      {"F1-F4 SS3", "\x1bOP\x1bOQ\x1bOR\x1bOS", {X(0x3B), X(0x3C), X(0x3D), X(0x3E)}},
      {"F1-F4 CSI", "\x1b[11~\x1b[12~\x1b[13~\x1b[14~", {X(0x3B), X(0x3C), X(0x3D), X(0x3E)}},
      {"F1-F5 Linux console", "\x1b[[A\x1b[[E", {X(0x3B), X(0x3F)}},
      {"F5-F8", "\x1b[15~\x1b[17~\x1b[18~\x1b[19~", {X(0x3F), X(0x40), X(0x41), X(0x42)}},
      {"F9-F12", "\x1b[20~\x1b[21~\x1b[23~\x1b[24~", {X(0x43), X(0x44), X(0x85), X(0x86)}},
      {"Ctrl+Up, Ctrl+Delete", "\x1b[1;5A\x1b[3;5~", {X(0x8D), X(0x93)}},
      {"Alt+Left, Shift+Up", "\x1b[1;3D\x1b[1;2A", {X(0x9B), X(0x48)}},
      {"Shift+F1, Ctrl+F5, Alt+F12", "\x1b[1;2P\x1b[15;5~\x1b[24;3~", {X(0x54), X(0x62), X(0x8C)}},
      {"Ctrl+Shift: Ctrl wins", "\x1b[1;6C", {X(0x74)}},
      {"old SS3 modifier", "\x1bO5P", {X(0x5E)}},
      {"Alt+F4 is swallowed", "\x1b[1;3S" "x", {'x'}},
      {"back-tab is Shift+Tab", "\x1b[Z", {X(0x0F)}},
      {"unknown sequences are dropped whole", "\x1b[99~\x1b[?1;2c\x1b[2A\x1bOz" "q", {'q'}},
      {"long sequence is skipped to its end", "\x1b[1;2;3;4;5;6;7;8;9;10;11;12~" "z", {'z'}},
      {"control byte breaks a sequence", "\x1b[1\r", {13}},
      {"Escape then a letter", "\x1bq", {27, 'q'}},
      {"Escape twice, then a key", "\x1b\x1b[B", {27, X(0x50)}},
      {"Escape before UTF-8", "\x1b\xc3\xa9", {27, -126}},
  };
  return cases;
}

TEST(DecodeTerminalInput, WholeInput) {
  for (const DecodeCase& c : Cases()) {
    TerminalDecoder decoder;
    EXPECT_EQ(Decode(decoder, c.bytes, true), c.codes) << c.what;
    EXPECT_EQ(decoder.pendingLength, 0u) << c.what;
  }
}

// A terminal may deliver a sequence in pieces; the decoder must give the
// same keys whatever the split.
TEST(DecodeTerminalInput, ByteByByte) {
  for (const DecodeCase& c : Cases()) {
    TerminalDecoder decoder;
    std::vector<int32_t> codes;
    for (char byte : c.bytes) {
      std::vector<int32_t> part = Decode(decoder, std::string(1, byte), false);
      codes.insert(codes.end(), part.begin(), part.end());
    }
    std::vector<int32_t> rest = Decode(decoder, "", true);
    codes.insert(codes.end(), rest.begin(), rest.end());
    EXPECT_EQ(codes, c.codes) << c.what;
  }
}

TEST(DecodeTerminalInput, LoneEscapeWaitsForFlush) {
  TerminalDecoder decoder;
  EXPECT_EQ(Decode(decoder, "a\x1b", false), std::vector<int32_t>{'a'});
  EXPECT_EQ(decoder.pendingLength, 1u);
  EXPECT_EQ(Decode(decoder, "", false), std::vector<int32_t>{});
  EXPECT_EQ(Decode(decoder, "", true), std::vector<int32_t>{27});
  EXPECT_EQ(decoder.pendingLength, 0u);
  // An incomplete sequence is not a lone Escape: flushing keeps it.
  EXPECT_EQ(Decode(decoder, "\x1b[1;", true), std::vector<int32_t>{});
  EXPECT_EQ(Decode(decoder, "5A", true), std::vector<int32_t>{X(0x8D)});
  // So is a split UTF-8 character.
  EXPECT_EQ(Decode(decoder, "\xc3", true), std::vector<int32_t>{});
  EXPECT_EQ(Decode(decoder, "\xa9", true), std::vector<int32_t>{-126});
}

}  // namespace
}  // namespace fb
