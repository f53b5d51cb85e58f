/*
 * fontconv: builds the code page 437 glyph tables in gfx/font_data.cpp from
 * Linux console fonts (PSF1 or PSF2, with a Unicode table).
 *
 * Glyphs are found by Unicode, not by slot: console fonts order their glyphs
 * however they like, so a slot number says nothing about which CP437 code it
 * draws. Each CP437 code is mapped to a code point (kCp437 below) and looked
 * up in the table's fonts in command-line order, so a later font only fills
 * the holes an earlier one leaves. These rules keep bad glyphs out:
 *  - Only space (0x20) and no-break space (0xFF) may be blank; some fonts
 *    map a code point to an empty glyph instead of leaving it out.
 *  - Stand-ins are refused. Reduced fonts list look-alikes under one glyph
 *    (the single-line corner also answers for the double-line one, an arrow
 *    for the solid triangle). When a glyph's Unicode entry names another CP437
 *    character first, the glyph is that character's, and the lookup moves on.
 *  - A font taller than the table (--from-row) only supplies glyphs whose cut
 *    rows are blank or repeat the edge row, so nothing but margin or a
 *    straight stroke's length is lost.
 *  - A few 8x8 glyphs are drawn by hand below (kHandDrawn8x8) because every
 *    8-row console font lacks or mis-draws them; these win over the fonts.
 *
 * Build:
 *   g++ -std=c++20 -O2 -Wall -Wextra tools/fontconv.cpp -o /tmp/fontconv
 *
 * The fonts come from Debian's console-setup-linux package
 * (apt-get install -y console-setup-linux). They ship gzip-compressed and
 * this tool reads raw PSF only, so unpack them first. From the repo root:
 *
 *   S=/tmp/fontconv-src; mkdir -p $S
 *   for f in Uni2-VGA8 FullGreek-VGA8 Uni2-VGA14 Ethiopian-Goha14 \
 *            Uni2-VGA16 FullGreek-Fixed16 FullGreek-VGA16 Ethiopian-Goha16; do
 *     gunzip -c /usr/share/consolefonts/$f.psf.gz > $S/$f.psf
 *   done
 *   /tmp/fontconv -o gfx/font_data.cpp \
 *     --table kFont8x8 8 \
 *       --font $S/Uni2-VGA8.psf \
 *       --font $S/FullGreek-VGA8.psf \
 *     --table kFont8x14 14 \
 *       --font $S/Uni2-VGA14.psf \
 *       --font $S/FullGreek-VGA16.psf --from-row 0 \
 *       --font $S/Ethiopian-Goha14.psf \
 *     --table kFont8x16 16 \
 *       --font $S/Uni2-VGA16.psf \
 *       --font $S/FullGreek-Fixed16.psf --only DC-DF \
 *       --font $S/FullGreek-VGA16.psf \
 *       --font $S/Ethiopian-Goha16.psf
 *
 * Options:
 *   -o FILE          output C++ file (written only if every code has a glyph)
 *   --table NAME H   start table NAME, 8 pixels wide and H rows high
 *   --font PATH      add a font to the current table's lookup order
 *   --from-row N     the last font is taller than the table: use its rows
 *                    N..N+H-1 (see the cropping rule above)
 *   --only LIST      the last font supplies only these CP437 codes (hex,
 *                    ranges allowed: DC-DF,B2)
 *
 * Which source every code came from, and every glyph refused, is printed
 * to stderr. A code left without a glyph is an error, so an incomplete table
 * is never written.
 */

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// CP437 code -> Unicode. Codes 1..31 and 127 use the pictographs a PC text
// screen showed for them rather than control characters. Code 0 maps to
// nothing: it is blank by definition. 255 is the no-break space.
constexpr std::array<char32_t, 256> kCp437 = {
    0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,  // 08
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 18
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,  // 20
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,  // 28
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 38
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // 40
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,  // 48
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // 50
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,  // 58
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // 60
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,  // 68
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // 70
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2302,  // 78
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// 8x8 glyphs drawn for this project. The 8-row console fonts have no glyph
// for 0x10, 0x11, 0x9E, 0xA9, 0xEC, 0xEF and 0xF0; under most Greek code
// points (0xE0..0xEE) they carry unrelated shapes (box pieces, a second sharp
// s); and their box pieces that mix single and double lines use one-pixel
// strokes that don't meet the two-pixel lines of the other pieces. These
// follow the fonts' metrics: stems two pixels wide, row 7 only for
// descenders, single lines on columns 3-4 and row 4, double lines on
// columns 2-3 + 5-6 and rows 2 + 4. '#' is ink; the first character is the
// leftmost pixel.
struct HandGlyph {
  int code;
  std::array<const char*, 8> rows;
};

constexpr HandGlyph kHandDrawn8x8[] = {
    {0x10, {"#.......", "###.....", "#####...", "#######.", "#####...", "###.....", "#.......", "........"}},
    {0x11, {"......#.", "....###.", "..#####.", "#######.", "..#####.", "....###.", "......#.", "........"}},
    {0x9E, {"####....", "##.##...", "##.##.#.", "####.###", "##....#.", "##....#.", "##....##", "........"}},
    {0xA9, {"........", "........", "........", "#######.", "##......", "##......", "........", "........"}},
    // Mixed single/double box pieces.
    {0xB5, {"...##...", "...##...", "#####...", "...##...", "#####...", "...##...", "...##...", "...##..."}},
    {0xB6, {"..##.##.", "..##.##.", "..##.##.", "..##.##.", "####.##.", "..##.##.", "..##.##.", "..##.##."}},
    {0xB7, {"........", "........", "........", "........", "#######.", "..##.##.", "..##.##.", "..##.##."}},
    {0xB8, {"........", "........", "#####...", "...##...", "#####...", "...##...", "...##...", "...##..."}},
    {0xBD, {"..##.##.", "..##.##.", "..##.##.", "..##.##.", "#######.", "........", "........", "........"}},
    {0xBE, {"...##...", "...##...", "#####...", "...##...", "#####...", "........", "........", "........"}},
    {0xC6, {"...##...", "...##...", "...#####", "...##...", "...#####", "...##...", "...##...", "...##..."}},
    {0xC7, {"..##.##.", "..##.##.", "..##.##.", "..##.##.", "..##.###", "..##.##.", "..##.##.", "..##.##."}},
    {0xCF, {"...##...", "...##...", "########", "........", "########", "........", "........", "........"}},
    {0xD0, {"..##.##.", "..##.##.", "..##.##.", "..##.##.", "########", "........", "........", "........"}},
    {0xD1, {"........", "........", "########", "........", "########", "...##...", "...##...", "...##..."}},
    {0xD2, {"........", "........", "........", "........", "########", "..##.##.", "..##.##.", "..##.##."}},
    {0xD3, {"..##.##.", "..##.##.", "..##.##.", "..##.##.", "..######", "........", "........", "........"}},
    {0xD4, {"...##...", "...##...", "...#####", "...##...", "...#####", "........", "........", "........"}},
    {0xD5, {"........", "........", "...#####", "...##...", "...#####", "...##...", "...##...", "...##..."}},
    {0xD6, {"........", "........", "........", "........", "..######", "..##.##.", "..##.##.", "..##.##."}},
    {0xD7, {"..##.##.", "..##.##.", "..##.##.", "..##.##.", "########", "..##.##.", "..##.##.", "..##.##."}},
    {0xD8, {"...##...", "...##...", "########", "...##...", "########", "...##...", "...##...", "...##..."}},
    // Greek and maths.
    {0xE0, {"........", "........", ".###.##.", "##.###..", "##..##..", "##.###..", ".###.##.", "........"}},
    {0xE2, {"#######.", "##...##.", "##......", "##......", "##......", "##......", "##......", "........"}},
    {0xE3, {"........", "#######.", ".##.##..", ".##.##..", ".##.##..", ".##.##..", ".##.##..", "........"}},
    {0xE4, {"#######.", "##...##.", ".##.....", "..##....", ".##.....", "##...##.", "#######.", "........"}},
    {0xE5, {"........", "........", ".######.", "##.##...", "##.##...", "##.##...", ".###....", "........"}},
    {0xE7, {"........", "........", ".######.", "##.##...", "...##...", "...##...", "....##..", "........"}},
    {0xE8, {"..####..", "...##...", ".######.", "##.##.##", ".######.", "...##...", "..####..", "........"}},
    {0xE9, {".#####..", "##...##.", "##...##.", "#######.", "##...##.", "##...##.", ".#####..", "........"}},
    {0xEA, {".#####..", "##...##.", "##...##.", "##...##.", ".##.##..", ".##.##..", "###.###.", "........"}},
    {0xEB, {"..####..", ".##.....", "..##....", ".#####..", "##...##.", "##...##.", ".#####..", "........"}},
    {0xEC, {"........", "........", ".##..##.", "#..##..#", "#..##..#", ".##..##.", "........", "........"}},
    {0xED, {"........", "...##...", ".######.", "##.##.##", "##.##.##", ".######.", "...##...", "...##..."}},
    {0xEE, {"........", "........", "..####..", ".##.....", ".####...", ".##.....", "..####..", "........"}},
    {0xEF, {"........", ".#####..", "##...##.", "##...##.", "##...##.", "##...##.", "##...##.", "........"}},
    {0xF0, {"........", "#######.", "........", "#######.", "........", "#######.", "........", "........"}},
};

[[noreturn]] void die(const std::string& msg) {
  std::fprintf(stderr, "fontconv: %s\n", msg.c_str());
  std::exit(1);
}

std::string hex2(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v);
  return buf;
}

std::string base_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// CP437 code for a code point, or -1. Code 0 is left out on purpose: it has
// no code point, and U+0000 must not look like a CP437 character.
int cp437_code_of(char32_t cp) {
  static const std::map<char32_t, int> inverse = [] {
    std::map<char32_t, int> m;
    for (int c = 1; c < 256; ++c) m.emplace(kCp437[std::size_t(c)], c);
    return m;
  }();
  const auto it = inverse.find(cp);
  return it == inverse.end() ? -1 : it->second;
}

// A loaded console font: glyph rows as stored (one byte per row, leftmost
// pixel in the MSB), each slot's code points in table order, and the first
// slot each code point appears in.
struct PsfFont {
  std::string name;  // file name without directory, for messages
  int height = 0;
  int glyph_count = 0;
  std::vector<std::uint8_t> glyphs;  // glyph_count * height bytes
  std::vector<std::vector<char32_t>> codes_of_slot;
  std::map<char32_t, int> slot_for_code;
};

void add_code(PsfFont& f, int slot, char32_t cp) {
  f.codes_of_slot[std::size_t(slot)].push_back(cp);
  f.slot_for_code.emplace(cp, slot);  // emplace keeps the first slot
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 |
         std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
}

// PSF1: 4-byte header (magic 36 04, mode, height); width is always 8.
// Unicode table: per glyph, little-endian u16 code points; 0xFFFE starts a
// multi-code-point sequence, which can't be a CP437 character and is skipped;
// 0xFFFF ends the glyph's entry.
void parse_psf1(const std::vector<std::uint8_t>& b, PsfFont& f) {
  const std::uint8_t mode = b[2];
  f.height = b[3];
  f.glyph_count = (mode & 0x01) ? 512 : 256;
  if (!(mode & 0x06)) die(f.name + ": font has no Unicode table");
  const std::size_t glyph_bytes = std::size_t(f.glyph_count) * std::size_t(f.height);
  if (b.size() < 4 + glyph_bytes) die(f.name + ": truncated glyph data");
  f.glyphs.assign(b.begin() + 4, b.begin() + 4 + std::ptrdiff_t(glyph_bytes));
  f.codes_of_slot.resize(std::size_t(f.glyph_count));

  std::size_t p = 4 + glyph_bytes;
  for (int slot = 0; slot < f.glyph_count; ++slot) {
    bool in_sequence = false;
    for (;;) {
      if (p + 2 > b.size()) die(f.name + ": truncated Unicode table");
      const unsigned u = b[p] | b[p + 1] << 8;
      p += 2;
      if (u == 0xFFFF) break;
      if (u == 0xFFFE) in_sequence = true;
      else if (!in_sequence) add_code(f, slot, u);
    }
  }
}

// Decodes one UTF-8 code point at b[p] and advances p; nullopt if malformed.
std::optional<char32_t> next_utf8(const std::vector<std::uint8_t>& b, std::size_t& p) {
  const std::uint8_t lead = b[p++];
  if (lead < 0x80) return lead;
  int extra;
  char32_t cp;
  if ((lead & 0xE0) == 0xC0) { extra = 1; cp = lead & 0x1F; }
  else if ((lead & 0xF0) == 0xE0) { extra = 2; cp = lead & 0x0F; }
  else if ((lead & 0xF8) == 0xF0) { extra = 3; cp = lead & 0x07; }
  else return std::nullopt;
  for (int i = 0; i < extra; ++i) {
    if (p >= b.size() || (b[p] & 0xC0) != 0x80) return std::nullopt;
    cp = cp << 6 | (b[p++] & 0x3F);
  }
  return cp;
}

// PSF2: 32-byte little-endian header (magic, version, header size, flags,
// glyph count, bytes per glyph, height, width). Unicode entries are UTF-8;
// 0xFE starts a sequence (skipped as above), 0xFF ends the glyph's entry.
void parse_psf2(const std::vector<std::uint8_t>& b, PsfFont& f) {
  if (b.size() < 32) die(f.name + ": truncated header");
  const std::uint32_t header_size = le32(b, 8);
  const std::uint32_t flags = le32(b, 12);
  const std::uint32_t count = le32(b, 16);
  const std::uint32_t bytes_per_glyph = le32(b, 20);
  const std::uint32_t height = le32(b, 24);
  const std::uint32_t width = le32(b, 28);
  // Our tables hold one byte per row, so only 8-pixel cells fit.
  if (width != 8) die(f.name + ": glyphs are " + std::to_string(width) + " pixels wide, need 8");
  if (bytes_per_glyph != height) die(f.name + ": unexpected bytes per glyph");
  if (!(flags & 1)) die(f.name + ": font has no Unicode table");
  f.height = int(height);
  f.glyph_count = int(count);
  const std::size_t glyph_bytes = std::size_t(count) * bytes_per_glyph;
  if (header_size < 32 || b.size() < header_size + glyph_bytes) die(f.name + ": truncated glyph data");
  f.glyphs.assign(b.begin() + header_size, b.begin() + std::ptrdiff_t(header_size + glyph_bytes));
  f.codes_of_slot.resize(count);

  std::size_t p = header_size + glyph_bytes;
  for (int slot = 0; slot < f.glyph_count; ++slot) {
    bool in_sequence = false;
    for (;;) {
      if (p >= b.size()) die(f.name + ": truncated Unicode table");
      if (b[p] == 0xFF) { ++p; break; }
      if (b[p] == 0xFE) { ++p; in_sequence = true; continue; }
      const auto cp = next_utf8(b, p);
      if (!cp) die(f.name + ": bad UTF-8 in Unicode table");
      if (!in_sequence) add_code(f, slot, *cp);
    }
  }
}

PsfFont load_psf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) die("cannot open " + path);
  const std::vector<std::uint8_t> b{std::istreambuf_iterator<char>(in), {}};
  PsfFont f;
  f.name = base_name(path);
  if (b.size() >= 4 && b[0] == 0x36 && b[1] == 0x04) parse_psf1(b, f);
  else if (b.size() >= 4 && b[0] == 0x72 && b[1] == 0xB5 && b[2] == 0x4A && b[3] == 0x86) parse_psf2(b, f);
  else if (b.size() >= 2 && b[0] == 0x1F && b[1] == 0x8B) die(path + " is gzip-compressed; unpack it with gunzip -c first");
  else die(path + ": not a PSF font");
  return f;
}

// PSF keeps the leftmost pixel in bit 7; our tables keep it in bit 0 so a
// renderer can test column x with (row >> x) & 1.
std::uint8_t reverse_bits(std::uint8_t v) {
  std::uint8_t r = 0;
  for (int i = 0; i < 8; ++i) r |= std::uint8_t(((v >> i) & 1) << (7 - i));
  return r;
}

struct FontSpec {
  std::string path;
  int from_row = 0;
  bool crop = false;  // --from-row given: the font may be taller than the table
  bool restricted = false;  // --only given: supplies just the codes in `only`
  std::array<bool, 256> only{};
};

struct TableRequest {
  std::string name;
  int height = 0;
  std::vector<FontSpec> fonts;
};

// Source ids in BuiltTable::source besides font indices.
constexpr int kBlank = -1;
constexpr int kHand = -2;
constexpr int kNone = -3;

struct BuiltTable {
  TableRequest request;
  std::vector<std::string> font_names;
  std::vector<std::uint8_t> bytes;  // 256 * height rows, bit 0 = leftmost
  std::array<int, 256> source{};    // font index, kBlank or kHand
  // Per font, codes whose glyph it had but we refused, by reason.
  std::vector<std::array<bool, 256>> stand_in, wrong_blank;
};

const HandGlyph* find_hand_glyph(int height, int code) {
  if (height != 8) return nullptr;
  for (const auto& g : kHandDrawn8x8)
    if (g.code == code) return &g;
  return nullptr;
}

// Converts "..##...." art to a row byte (bit 0 = first character).
std::uint8_t art_row(const char* art, int code) {
  std::uint8_t v = 0;
  int x = 0;
  for (; x < 8 && (art[x] == '#' || art[x] == '.'); ++x)
    if (art[x] == '#') v |= std::uint8_t(1u << x);
  if (x != 8 || art[x] != '\0') die("hand-drawn glyph " + hex2(code) + " has a malformed row");
  return v;
}

enum class Lookup { kTaken, kAbsent, kWrongBlank, kStandIn, kDoesNotFit };

// Copies the glyph for `code` out of `font` into `out` (in our bit order)
// unless the font lacks it, has it blank, offers a stand-in, or it doesn't
// survive the crop.
Lookup take_from_font(const PsfFont& font, const FontSpec& fs, int code, int height, std::uint8_t* out) {
  if (fs.restricted && !fs.only[std::size_t(code)]) return Lookup::kAbsent;
  const auto hit = font.slot_for_code.find(kCp437[std::size_t(code)]);
  if (hit == font.slot_for_code.end()) return Lookup::kAbsent;
  const std::uint8_t* rows = &font.glyphs[std::size_t(hit->second) * std::size_t(font.height)];
  const bool blank = std::all_of(rows, rows + font.height, [](std::uint8_t r) { return r == 0; });
  if (blank != (code == 0x20 || code == 0xFF)) return Lookup::kWrongBlank;

  if (!blank) {
    for (char32_t earlier : font.codes_of_slot[std::size_t(hit->second)]) {
      if (earlier == kCp437[std::size_t(code)]) break;
      if (cp437_code_of(earlier) > 0) return Lookup::kStandIn;
    }
  }

  const int first = fs.from_row, last = fs.from_row + height - 1;
  for (int r = 0; r < font.height; ++r) {
    const int edge = r < first ? first : r > last ? last : r;
    if (rows[r] != 0 && rows[r] != rows[edge]) return Lookup::kDoesNotFit;
  }
  for (int r = 0; r < height; ++r) out[r] = reverse_bits(rows[first + r]);
  return Lookup::kTaken;
}

BuiltTable build_table(const TableRequest& request) {
  BuiltTable out;
  out.request = request;
  std::vector<PsfFont> fonts;
  for (const auto& fs : request.fonts) {
    fonts.push_back(load_psf(fs.path));
    const PsfFont& f = fonts.back();
    const bool fits = fs.crop ? f.height >= fs.from_row + request.height : f.height == request.height;
    if (!fits)
      die(f.name + " is " + std::to_string(f.height) + " rows high; " + request.name + " needs " +
          std::to_string(request.height) + (fs.crop ? " from row " + std::to_string(fs.from_row) : ""));
    out.font_names.push_back(f.name);
  }
  out.stand_in.assign(fonts.size(), {});
  out.wrong_blank.assign(fonts.size(), {});

  out.bytes.assign(std::size_t(256) * std::size_t(request.height), 0);
  std::string missing;
  for (int code = 0; code < 256; ++code) {
    std::uint8_t* dst = &out.bytes[std::size_t(code) * std::size_t(request.height)];
    auto& src = out.source[std::size_t(code)];
    src = kNone;
    if (code == 0) {
      src = kBlank;
    } else if (const HandGlyph* g = find_hand_glyph(request.height, code)) {
      for (int r = 0; r < request.height; ++r) dst[r] = art_row(g->rows[std::size_t(r)], code);
      src = kHand;
    } else {
      for (std::size_t i = 0; i < fonts.size() && src == kNone; ++i) {
        const Lookup l = take_from_font(fonts[i], request.fonts[i], code, request.height, dst);
        if (l == Lookup::kTaken) src = int(i);
        out.stand_in[i][std::size_t(code)] = l == Lookup::kStandIn;
        out.wrong_blank[i][std::size_t(code)] = l == Lookup::kWrongBlank;
      }
    }
    if (src == kNone) {
      char buf[32];
      std::snprintf(buf, sizeof buf, " 0x%02X (U+%04X)", code, unsigned(kCp437[std::size_t(code)]));
      missing += buf;
    }
  }
  if (!missing.empty()) die(request.name + ": no glyph for" + missing + "; add a font or draw it");
  return out;
}

// "0x01-0x0F 0x12 ..." for the codes in a set, so the report names every
// code without printing 256 lines per table.
std::string code_ranges(const std::array<bool, 256>& in) {
  std::string s;
  for (int c = 0; c < 256; ++c) {
    if (!in[std::size_t(c)]) continue;
    int e = c;
    while (e + 1 < 256 && in[std::size_t(e + 1)]) ++e;
    s += " " + hex2(c) + (e == c ? "" : "-" + hex2(e));
    c = e;
  }
  return s.empty() ? " (none)" : s;
}

std::string code_ranges(const BuiltTable& t, int source) {
  std::array<bool, 256> in{};
  for (std::size_t c = 0; c < 256; ++c) in[c] = t.source[c] == source;
  return code_ranges(in);
}

void report(const BuiltTable& t) {
  std::fprintf(stderr, "%s (8x%d):\n", t.request.name.c_str(), t.request.height);
  std::fprintf(stderr, "  blank:%s\n", code_ranges(t, kBlank).c_str());
  std::fprintf(stderr, "  hand-drawn:%s\n", code_ranges(t, kHand).c_str());
  for (std::size_t i = 0; i < t.font_names.size(); ++i) {
    std::fprintf(stderr, "  %s:%s\n", t.font_names[i].c_str(), code_ranges(t, int(i)).c_str());
    for (const auto& [why, set] : {std::pair{"stand-ins", &t.stand_in[i]}, std::pair{"blank", &t.wrong_blank[i]}})
      if (std::find(set->begin(), set->end(), true) != set->end())
        std::fprintf(stderr, "    refused %s:%s\n", why, code_ranges(*set).c_str());
  }
}

// Per-glyph comment. Only plain ASCII is spelled out so the file stays 7-bit;
// everything else is named by code point. Glyphs not from the table's first
// font say where they came from.
std::string glyph_comment(const BuiltTable& t, int code) {
  char buf[48];
  if (code > 0x20 && code < 0x7F)
    std::snprintf(buf, sizeof buf, "// 0x%02X '%c'", code, char(code));
  else if (code == 0)
    std::snprintf(buf, sizeof buf, "// 0x00");
  else
    std::snprintf(buf, sizeof buf, "// 0x%02X U+%04X", code, unsigned(kCp437[std::size_t(code)]));
  std::string s = buf;
  const int src = t.source[std::size_t(code)];
  if (src == kBlank) s += " (blank)";
  else if (src == kHand) s += " (hand-drawn)";
  else if (src > 0) s += " (" + t.font_names[std::size_t(src)] + ")";
  return s;
}

void emit_table(std::ostream& os, const BuiltTable& t) {
  const int h = t.request.height;
  os << "\nconst unsigned char " << t.request.name << "[" << 256 * h << "] = {\n";
  for (int code = 0; code < 256; ++code) {
    os << "    " << glyph_comment(t, code) << "\n";
    for (int r = 0; r < h; r += 8) {
      os << "   ";
      for (int k = r; k < std::min(h, r + 8); ++k)
        os << " " << hex2(t.bytes[std::size_t(code * h + k)]) << ",";
      os << "\n";
    }
  }
  os << "};\n";
}

void emit_file(std::ostream& os, const std::vector<BuiltTable>& tables, const std::string& command) {
  os << "/*\n"
        " * Generated by tools/fontconv.cpp; do not edit by hand.\n"
        " *\n"
        " * Code page 437 glyphs from Debian's console fonts (package\n"
        " * console-setup-linux, /usr/share/consolefonts). The package's copyright\n"
        " * file says: \"All console fonts are public domain by nature.\"\n"
        " * Glyphs marked hand-drawn were drawn for this project in fontconv.cpp.\n"
        " *\n"
        " * Sources per table, in lookup order:\n";
  for (const auto& t : tables) {
    os << " *   " << t.request.name << ":";
    for (const auto& n : t.font_names) os << " " << n << ".gz";
    os << "\n";
  }
  os << " * A glyph not taken from its table's first font names its source.\n"
        " *\n"
        " * Regenerate from the repo root:\n"
        " *   S=/tmp/fontconv-src; mkdir -p $S\n";
  std::vector<std::string> seen;
  for (const auto& t : tables)
    for (const auto& n : t.font_names)
      if (std::find(seen.begin(), seen.end(), n) == seen.end()) {
        seen.push_back(n);
        os << " *   gunzip -c /usr/share/consolefonts/" << n << ".gz > $S/" << n << "\n";
      }
  os << " *   g++ -std=c++20 -O2 -Wall -Wextra tools/fontconv.cpp -o /tmp/fontconv\n"
     << command
     << " */\n"
        "\n"
        "#include \"font_data.h\"\n"
        "\n"
        "namespace fb {\n";
  for (const auto& t : tables) emit_table(os, t);
  os << "\n}  // namespace fb\n";
}

// Parses "DC-DF,B2" (hex CP437 codes and inclusive ranges).
std::array<bool, 256> parse_codes(const std::string& list) {
  std::array<bool, 256> in{};
  std::stringstream ss(list);
  for (std::string item; std::getline(ss, item, ',');) {
    const auto dash = item.find('-');
    const std::string lo = item.substr(0, dash);
    const std::string hi = dash == std::string::npos ? lo : item.substr(dash + 1);
    char* end_lo = nullptr;
    char* end_hi = nullptr;
    const long a = std::strtol(lo.c_str(), &end_lo, 16);
    const long b = std::strtol(hi.c_str(), &end_hi, 16);
    if (lo.empty() || hi.empty() || *end_lo || *end_hi || a < 0 || b > 255 || a > b)
      die("bad code list '" + list + "'");
    for (long c = a; c <= b; ++c) in[std::size_t(c)] = true;
  }
  return in;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out_path;
  std::vector<TableRequest> requests;
  // The command line is echoed into the generated file, one option group per
  // line, with the unpack directory written as $S so it reads as a recipe.
  std::string command = " *   /tmp/fontconv";
  std::string src_dir;

  auto arg = [&](int& i) -> std::string {
    if (i + 1 >= argc) die(std::string(argv[i]) + " needs an argument");
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-o") {
      out_path = arg(i);
      command += " -o " + out_path;
    } else if (a == "--table") {
      TableRequest t;
      t.name = arg(i);
      t.height = std::atoi(arg(i).c_str());
      if (t.height < 1 || t.height > 32) die("bad height for --table " + t.name);
      command += " \\\n *     --table " + t.name + " " + std::to_string(t.height);
      requests.push_back(t);
    } else if (a == "--font") {
      if (requests.empty()) die("--font before any --table");
      FontSpec f;
      f.path = arg(i);
      const auto slash = f.path.find_last_of('/');
      const std::string dir = slash == std::string::npos ? "." : f.path.substr(0, slash);
      if (src_dir.empty()) src_dir = dir;
      if (dir != src_dir) die("keep all fonts in one directory (" + src_dir + ")");
      requests.back().fonts.push_back(f);
      command += " \\\n *       --font $S/" + base_name(f.path);
    } else if (a == "--only") {
      if (requests.empty() || requests.back().fonts.empty()) die("--only must follow --font");
      FontSpec& f = requests.back().fonts.back();
      const std::string list = arg(i);
      f.only = parse_codes(list);
      f.restricted = true;
      command += " --only " + list;
    } else if (a == "--from-row") {
      if (requests.empty() || requests.back().fonts.empty()) die("--from-row must follow --font");
      FontSpec& f = requests.back().fonts.back();
      f.from_row = std::atoi(arg(i).c_str());
      f.crop = true;
      if (f.from_row < 0) die("bad --from-row");
      command += " --from-row " + std::to_string(f.from_row);
    } else {
      die("unknown argument '" + a + "'");
    }
  }
  command += "\n";
  if (out_path.empty() || requests.empty()) die("usage: fontconv -o OUT.cpp --table NAME HEIGHT --font PSF ...");

  std::vector<BuiltTable> tables;
  for (const auto& s : requests) {
    if (s.fonts.empty()) die(s.name + " has no --font");
    tables.push_back(build_table(s));
    report(tables.back());
  }

  // Build the whole file in memory so a failure can't leave half of it.
  std::ostringstream os;
  emit_file(os, tables, command);
  std::ofstream out(out_path, std::ios::binary);
  if (!out) die("cannot write " + out_path);
  out << os.str();
  if (!out.flush()) die("write failed for " + out_path);
  std::fprintf(stderr, "wrote %s\n", out_path.c_str());
  return 0;
}
