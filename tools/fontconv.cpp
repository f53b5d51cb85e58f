// fontconv: turns Linux console fonts (PSF1 / PSF2 with a Unicode table)
// into the code page 437 glyph tables in gfx/font_data.cpp.
//
// The fonts are looked up by Unicode, not by glyph slot, because the console
// fonts are laid out in their own order; the slot a glyph sits in says nothing
// about which CP437 code it stands for. Each CP437 code is mapped to its
// Unicode code point (table below) and searched in the listed fonts in order,
// so a later font only fills holes left by an earlier one.
//
// Build:
//   g++ -std=c++20 -O2 -Wall -Wextra tools/fontconv.cpp -o /tmp/fontconv
//
// The fonts ship gzip-compressed and this tool only reads raw PSF, so unpack
// them first. Regenerating gfx/font_data.cpp from the repo root:
//
//   mkdir -p /tmp/fontconv-src
//   for f in Uni2-VGA8 Uni1-VGA8 Lat15-VGA8 \
//            Uni2-VGA14 Uni1-VGA14 Lat15-VGA14 \
//            Uni2-VGA16 Uni1-VGA16 Lat15-VGA16; do
//     gunzip -c /usr/share/consolefonts/$f.psf.gz > /tmp/fontconv-src/$f.psf
//   done
//   /tmp/fontconv -o gfx/font_data.cpp \
//     kFont8x8:8=/tmp/fontconv-src/Uni2-VGA8.psf,/tmp/fontconv-src/Uni1-VGA8.psf,/tmp/fontconv-src/Lat15-VGA8.psf \
//     kFont8x14:14=/tmp/fontconv-src/Uni2-VGA14.psf,/tmp/fontconv-src/Uni1-VGA14.psf,/tmp/fontconv-src/Lat15-VGA14.psf \
//     kFont8x16:16=/tmp/fontconv-src/Uni2-VGA16.psf,/tmp/fontconv-src/Uni1-VGA16.psf,/tmp/fontconv-src/Lat15-VGA16.psf
//
// (/usr/share/consolefonts comes with Debian's console-setup-linux package.)
//
// Command line:
//   fontconv -o OUT.cpp NAME:HEIGHT=FONT[,FONT...] [NAME:HEIGHT=...]...
// Each NAME becomes `const unsigned char NAME[256 * HEIGHT]` in namespace fb.
// Fonts are tried left to right per code. Progress, and which font every code
// came from, goes to stderr. Exit status is non-zero if any code ends up
// without a glyph, so a silently incomplete table can't be generated.

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

// CP437 code -> Unicode. Codes 1..31 and 127 use the pictographs the PC
// showed for them rather than control characters, since that's what a
// text-mode screen draws. Code 0 has no glyph on purpose (0 = blank).
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

// A loaded console font: glyph rows as stored (one byte per row, leftmost
// pixel in the MSB) plus the code points each glyph slot claims.
struct PsfFont {
  std::string name;  // file name without directory, for messages
  int height = 0;
  int glyph_count = 0;
  std::vector<std::uint8_t> glyphs;        // glyph_count * height bytes
  std::map<char32_t, int> slot_for_code;   // first slot wins on duplicates
};

[[noreturn]] void die(const std::string& msg) {
  std::fprintf(stderr, "fontconv: %s\n", msg.c_str());
  std::exit(1);
}

std::string base_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 |
         std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
}

void add_mapping(PsfFont& f, char32_t cp, int slot) {
  f.slot_for_code.emplace(cp, slot);  // emplace keeps the first mapping
}

// PSF1: 4-byte header (magic 36 04, mode, height); width is always 8.
// Unicode table: per glyph, little-endian u16 code points, 0xFFFE starts a
// combining sequence (which we skip: a multi-code-point sequence can't be a
// CP437 character), 0xFFFF ends the glyph's entry.
void parse_psf1(const std::vector<std::uint8_t>& b, PsfFont& f) {
  const std::uint8_t mode = b[2];
  f.height = b[3];
  f.glyph_count = (mode & 0x01) ? 512 : 256;
  if (!(mode & 0x02 || mode & 0x04)) die(f.name + ": PSF1 font has no Unicode table");
  const std::size_t glyph_bytes = std::size_t(f.glyph_count) * f.height;
  if (b.size() < 4 + glyph_bytes) die(f.name + ": truncated glyph data");
  f.glyphs.assign(b.begin() + 4, b.begin() + 4 + std::ptrdiff_t(glyph_bytes));

  std::size_t p = 4 + glyph_bytes;
  for (int slot = 0; slot < f.glyph_count; ++slot) {
    bool in_sequence = false;
    for (;;) {
      if (p + 2 > b.size()) die(f.name + ": truncated Unicode table");
      const unsigned u = b[p] | b[p + 1] << 8;
      p += 2;
      if (u == 0xFFFF) break;
      if (u == 0xFFFE) { in_sequence = true; continue; }
      if (!in_sequence) add_mapping(f, u, slot);
    }
  }
}

// Decodes one UTF-8 code point at b[p], advancing p. Returns nullopt on a
// malformed byte so the caller can report the file as broken.
std::optional<char32_t> next_utf8(const std::vector<std::uint8_t>& b, std::size_t& p) {
  const std::uint8_t lead = b[p++];
  int extra;
  char32_t cp;
  if (lead < 0x80) return lead;
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
// glyph count, bytes per glyph, height, width). Unicode table entries are
// UTF-8; 0xFE starts a combining sequence, 0xFF ends the glyph's entry.
void parse_psf2(const std::vector<std::uint8_t>& b, PsfFont& f) {
  if (b.size() < 32) die(f.name + ": truncated PSF2 header");
  const std::uint32_t header_size = le32(b, 8);
  const std::uint32_t flags = le32(b, 12);
  const std::uint32_t count = le32(b, 16);
  const std::uint32_t bytes_per_glyph = le32(b, 20);
  const std::uint32_t height = le32(b, 24);
  const std::uint32_t width = le32(b, 28);
  // Only 8-pixel-wide cells fit our one-byte-per-row tables.
  if (width != 8) die(f.name + ": glyph width " + std::to_string(width) + ", need 8");
  if (bytes_per_glyph != height) die(f.name + ": unexpected bytes per glyph");
  if (!(flags & 1)) die(f.name + ": PSF2 font has no Unicode table");
  f.height = int(height);
  f.glyph_count = int(count);
  const std::size_t glyph_bytes = std::size_t(count) * bytes_per_glyph;
  if (b.size() < header_size + glyph_bytes) die(f.name + ": truncated glyph data");
  f.glyphs.assign(b.begin() + header_size, b.begin() + std::ptrdiff_t(header_size + glyph_bytes));

  std::size_t p = header_size + glyph_bytes;
  for (int slot = 0; slot < f.glyph_count; ++slot) {
    bool in_sequence = false;
    for (;;) {
      if (p >= b.size()) die(f.name + ": truncated Unicode table");
      if (b[p] == 0xFF) { ++p; break; }
      if (b[p] == 0xFE) { ++p; in_sequence = true; continue; }
      const auto cp = next_utf8(b, p);
      if (!cp) die(f.name + ": bad UTF-8 in Unicode table");
      if (!in_sequence) add_mapping(f, *cp, slot);
    }
  }
}

PsfFont load_psf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) die("cannot open " + path);
  const std::vector<std::uint8_t> b{std::istreambuf_iterator<char>(in), {}};
  PsfFont f;
  f.name = base_name(path);
  if (b.size() >= 4 && b[0] == 0x36 && b[1] == 0x04) {
    parse_psf1(b, f);
  } else if (b.size() >= 4 && b[0] == 0x72 && b[1] == 0xB5 && b[2] == 0x4A && b[3] == 0x86) {
    parse_psf2(b, f);
  } else if (b.size() >= 2 && b[0] == 0x1F && b[1] == 0x8B) {
    die(path + " is gzip-compressed; unpack it with gunzip -c first");
  } else {
    die(path + ": not a PSF font");
  }
  return f;
}

// PSF keeps the leftmost pixel in bit 7; our tables keep it in bit 0 so a
// renderer can walk columns with `row >> x & 1`.
std::uint8_t reverse_bits(std::uint8_t v) {
  std::uint8_t r = 0;
  for (int i = 0; i < 8; ++i) r |= std::uint8_t(((v >> i) & 1) << (7 - i));
  return r;
}

struct TableSpec {
  std::string name;
  int height = 0;
  std::vector<std::string> font_paths;
};

// Where each code's glyph came from: index into the font list, or -1 for the
// deliberate blank at code 0.
struct BuiltTable {
  TableSpec spec;
  std::vector<std::string> font_names;
  std::vector<std::uint8_t> bytes;  // 256 * height, already bit-reversed
  std::array<int, 256> source{};
};

TableSpec parse_table_arg(const std::string& arg) {
  const auto colon = arg.find(':');
  const auto eq = arg.find('=');
  if (colon == std::string::npos || eq == std::string::npos || eq < colon)
    die("bad table argument '" + arg + "', want NAME:HEIGHT=FONT[,FONT...]");
  TableSpec t;
  t.name = arg.substr(0, colon);
  t.height = std::atoi(arg.substr(colon + 1, eq - colon - 1).c_str());
  if (t.name.empty() || t.height <= 0 || t.height > 32) die("bad name or height in '" + arg + "'");
  std::stringstream list(arg.substr(eq + 1));
  for (std::string path; std::getline(list, path, ',');)
    if (!path.empty()) t.font_paths.push_back(path);
  if (t.font_paths.empty()) die("no fonts given for " + t.name);
  return t;
}

BuiltTable build_table(const TableSpec& spec) {
  BuiltTable out;
  out.spec = spec;
  std::vector<PsfFont> fonts;
  for (const auto& path : spec.font_paths) {
    fonts.push_back(load_psf(path));
    const PsfFont& f = fonts.back();
    if (f.height != spec.height)
      die(f.name + " is " + std::to_string(f.height) + " rows high, " + spec.name +
          " needs " + std::to_string(spec.height));
    out.font_names.push_back(f.name);
  }

  out.bytes.assign(std::size_t(256) * spec.height, 0);
  std::vector<int> missing;
  for (int code = 0; code < 256; ++code) {
    out.source[code] = -2;
    if (code == 0) { out.source[code] = -1; continue; }  // blank by definition
    for (std::size_t i = 0; i < fonts.size(); ++i) {
      const auto hit = fonts[i].slot_for_code.find(kCp437[code]);
      if (hit == fonts[i].slot_for_code.end()) continue;
      const std::uint8_t* rows = &fonts[i].glyphs[std::size_t(hit->second) * spec.height];
      for (int r = 0; r < spec.height; ++r)
        out.bytes[std::size_t(code) * spec.height + r] = reverse_bits(rows[r]);
      out.source[code] = int(i);
      break;
    }
    if (out.source[code] == -2) missing.push_back(code);
  }

  if (!missing.empty()) {
    std::string list;
    for (int c : missing) {
      char buf[32];
      std::snprintf(buf, sizeof buf, " 0x%02X(U+%04X)", c, unsigned(kCp437[c]));
      list += buf;
    }
    die(spec.name + ": no font has a glyph for" + list + "; add a fallback font");
  }
  return out;
}

// Collapses the codes taken from one source into "0x01-0x0F 0x12 ..." so the
// report covers every code without printing 256 lines per table.
std::string code_ranges(const BuiltTable& t, int source) {
  std::string s;
  for (int c = 0; c < 256; ++c) {
    if (t.source[c] != source) continue;
    int e = c;
    while (e + 1 < 256 && t.source[e + 1] == source) ++e;
    char buf[24];
    if (e == c) std::snprintf(buf, sizeof buf, " 0x%02X", c);
    else std::snprintf(buf, sizeof buf, " 0x%02X-0x%02X", c, e);
    s += buf;
    c = e;
  }
  return s;
}

void report(const BuiltTable& t) {
  std::fprintf(stderr, "%s (8x%d):\n", t.spec.name.c_str(), t.spec.height);
  std::fprintf(stderr, "  blank:%s\n", code_ranges(t, -1).c_str());
  for (std::size_t i = 0; i < t.font_names.size(); ++i) {
    const std::string r = code_ranges(t, int(i));
    std::fprintf(stderr, "  %s:%s\n", t.font_names[i].c_str(), r.empty() ? " (none)" : r.c_str());
  }
}

std::string glyph_label(int code) {
  char buf[40];
  const char32_t cp = kCp437[code];
  // Only plain ASCII goes into the source as a character; the rest is named
  // by code point so the file stays 7-bit clean.
  if (code > 0x20 && code < 0x7F)
    std::snprintf(buf, sizeof buf, "// 0x%02X '%c'", code, char(code));
  else if (code == 0)
    std::snprintf(buf, sizeof buf, "// 0x00 blank");
  else
    std::snprintf(buf, sizeof buf, "// 0x%02X U+%04X", code, unsigned(cp));
  return buf;
}

void emit_table(std::ostream& os, const BuiltTable& t) {
  const int h = t.spec.height;
  os << "\nextern const unsigned char " << t.spec.name << "[" << 256 * h << "];\n";
  os << "const unsigned char " << t.spec.name << "[" << 256 * h << "] = {\n";
  for (int code = 0; code < 256; ++code) {
    os << "    " << glyph_label(code);
    if (t.source[code] > 0) os << " (" << t.font_names[t.source[code]] << ")";
    os << "\n";
    for (int r = 0; r < h; r += 8) {
      os << "   ";
      for (int k = r; k < std::min(h, r + 8); ++k) {
        char buf[8];
        std::snprintf(buf, sizeof buf, " 0x%02X,", t.bytes[std::size_t(code) * h + k]);
        os << buf;
      }
      os << "\n";
    }
  }
  os << "};\n";
}

void emit_file(std::ostream& os, const std::vector<BuiltTable>& tables,
               const std::vector<std::string>& argv_words) {
  os << "// Generated by tools/fontconv.cpp -- do not edit by hand.\n"
        "//\n"
        "// Code page 437 glyphs taken from Debian's console fonts\n"
        "// (package console-setup-linux, /usr/share/consolefonts). Its copyright\n"
        "// file says: \"All console fonts are public domain by nature.\"\n"
        "//\n"
        "// Sources, in the order each code is looked up:\n";
  for (const auto& t : tables) {
    os << "//   " << t.spec.name << ":";
    for (const auto& n : t.font_names) os << " " << n << ".gz";
    os << "\n";
  }
  os << "// A glyph taken from a later font is marked with that font's name.\n"
        "//\n"
        "// Regenerate from the repo root:\n"
        "//   mkdir -p /tmp/fontconv-src\n";
  std::vector<std::string> seen;
  for (const auto& t : tables)
    for (const auto& path : t.spec.font_paths) {
      if (std::find(seen.begin(), seen.end(), path) != seen.end()) continue;
      seen.push_back(path);
      os << "//   gunzip -c /usr/share/consolefonts/" << base_name(path) << ".gz > " << path << "\n";
    }
  os << "//   g++ -std=c++20 -O2 -Wall -Wextra tools/fontconv.cpp -o /tmp/fontconv\n";
  os << "//   /tmp/fontconv";
  for (const auto& w : argv_words) os << " \\\n//     " << w;
  os << "\n"
        "//\n"
        "// Layout: see gfx/font_data.h (row byte per scanline, bit 0 = leftmost).\n"
        "\n"
        "#include \"gfx/font_data.h\"\n"
        "\n"
        "namespace fb {\n";
  for (const auto& t : tables) emit_table(os, t);
  os << "\n}  // namespace fb\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string out_path;
  std::vector<TableSpec> specs;
  std::vector<std::string> words;  // argv as given, echoed into the header
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) {
      out_path = argv[++i];
      words.push_back("-o " + out_path);
    } else {
      specs.push_back(parse_table_arg(a));
      words.push_back(a);
    }
  }
  if (out_path.empty() || specs.empty())
    die("usage: fontconv -o OUT.cpp NAME:HEIGHT=FONT[,FONT...] ...");

  std::vector<BuiltTable> tables;
  for (const auto& s : specs) {
    tables.push_back(build_table(s));
    report(tables.back());
  }

  // Write to a string first so a failure can't leave a half-written file.
  std::ostringstream os;
  emit_file(os, tables, words);
  std::ofstream out(out_path, std::ios::binary);
  if (!out) die("cannot write " + out_path);
  out << os.str();
  if (!out.flush()) die("write failed for " + out_path);
  std::fprintf(stderr, "wrote %s\n", out_path.c_str());
  return 0;
}
