// Tests for tools/make_art.cpp: BMP layout, the sprite key-colour rules and
// the pictures themselves, read back from the files the tool writes.
#define MAKE_ART_NO_MAIN
#include "tools/make_art.cpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <sstream>

namespace {

using namespace make_art;

uint32_t le16(const std::vector<uint8_t>& b, size_t off) { return b[off] | (b[off + 1] << 8); }
uint32_t le32(const std::vector<uint8_t>& b, size_t off) { return le16(b, off) | (le16(b, off + 2) << 16); }

std::vector<uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t paddedRow(int width) { return (uint32_t(width) * 3 + 3) / 4 * 4; }

// Reads a 24-bit bottom-up BMP back into top-down 0xRRGGBB pixels.
Image decode(const std::vector<uint8_t>& b) {
    const int w = int(le32(b, 18)), h = int(le32(b, 22));
    const uint32_t offset = le32(b, 10), row = paddedRow(w);
    Image img(w, h);
    for (int y = 0; y < h; ++y) {
        const size_t start = offset + size_t(h - 1 - y) * row;
        for (int x = 0; x < w; ++x) {
            const size_t i = start + size_t(x) * 3;
            img.set(x, y, (uint32_t(b[i + 2]) << 16) | (uint32_t(b[i + 1]) << 8) | b[i]);
        }
    }
    return img;
}

int red(uint32_t c) { return int(c >> 16); }
int green(uint32_t c) { return int((c >> 8) & 0xFF); }
int blue(uint32_t c) { return int(c & 0xFF); }
float luma(uint32_t c) { return 0.299f * red(c) + 0.587f * green(c) + 0.114f * blue(c); }
bool nearKey(uint32_t c) { return c != kKey && red(c) > 200 && blue(c) > 200 && green(c) < 60; }

struct Expected {
    const char* file;
    int width, height;
};
constexpr std::array<Expected, 5> kExpected = {{
    {"Background.bmp", 1024, 768},
    {"Player.bmp", 50, 35},
    {"ene.bmp", 25, 25},
    {"reload.bmp", 200, 100},
    {"Crit.bmp", 140, 52},
}};

// ------------------------------------------------------------ BMP encoder

// Every field of the 54-byte header, for a w x h picture.
void expectHeader(const std::vector<uint8_t>& b, int w, int h) {
    ASSERT_GE(b.size(), 54u);
    const uint32_t data = paddedRow(w) * uint32_t(h);
    EXPECT_EQ(b.size(), 54 + data);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 2), "BM");
    const std::vector<std::pair<size_t, uint32_t>> fields32 = {
        {2, 54 + data}, {6, 0},    {10, 54},   {14, 40}, {18, uint32_t(w)}, {22, uint32_t(h)},
        {30, 0},        {34, data}, {38, 2835}, {42, 2835}, {46, 0},        {50, 0}};
    for (const auto& [off, want] : fields32) EXPECT_EQ(le32(b, off), want) << "header offset " << off;
    EXPECT_EQ(le16(b, 26), 1u) << "planes";
    EXPECT_EQ(le16(b, 28), 24u) << "bits per pixel";
}

TEST(BmpEncoder, WritesBottomUpBgrRowsWithZeroPadding) {
    Image img(3, 2);
    img.set(0, 0, 0x112233);
    img.set(1, 0, 0x445566);
    img.set(2, 0, 0x778899);
    img.set(0, 1, 0xAABBCC);
    img.set(1, 1, 0xDDEEFF);
    img.set(2, 1, 0x010203);
    const std::vector<uint8_t> b = encodeBmp(img);
    expectHeader(b, 3, 2);  // positive height: bottom-up

    const std::vector<uint8_t> pixels(b.begin() + 54, b.end());
    const std::vector<uint8_t> expected = {
        0xCC, 0xBB, 0xAA, 0xFF, 0xEE, 0xDD, 0x03, 0x02, 0x01, 0, 0, 0,  // bottom image row first
        0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88, 0x77, 0, 0, 0,
    };
    EXPECT_EQ(pixels, expected);
}

TEST(BmpEncoder, PadsEveryRowToFourBytes) {
    const std::map<int, uint32_t> rowBytes = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {6, 20}, {7, 24}, {8, 24}};
    for (const auto& [w, row] : rowBytes) {
        SCOPED_TRACE("width " + std::to_string(w));
        ASSERT_EQ(paddedRow(w), row);
        const std::vector<uint8_t> b = encodeBmp(Image(w, 3, 0x123456));
        expectHeader(b, w, 3);
        for (int y = 0; y < 3; ++y) {
            for (uint32_t i = uint32_t(w) * 3; i < row; ++i) EXPECT_EQ(b[54 + y * row + i], 0);
        }
    }
}

// ------------------------------------------------------------ sprite rules

TEST(Sprite, EdgesAverageDrawnColoursOnly) {
    // A single-colour disc must come out as exactly that colour or the key:
    // partial edge pixels may not be mixed with the transparent surround.
    Sprite s(20, 20);
    s.fill(ellipse(10, 10, 7.3f, 6.1f), solid(hex(0x3080C0)));
    const Image img = s.resolve();
    int drawn = 0;
    for (uint32_t c : img.px) {
        if (c == kKey) continue;
        EXPECT_EQ(c, 0x3080C0u);
        ++drawn;
    }
    EXPECT_GT(drawn, 100);
    EXPECT_LT(drawn, 180);
}

TEST(Sprite, PixelNeedsHalfCoverageToBeDrawn) {
    // Subsample centres in pixel 2 sit at 2.125, 2.375, 2.625 and 2.875.
    Sprite quarter(4, 1), half(4, 1);
    quarter.fill(rect(0, 0, 2.3f, 1), solid(hex(0x202020)));
    half.fill(rect(0, 0, 2.5f, 1), solid(hex(0x202020)));
    EXPECT_EQ(quarter.resolve().at(2, 0), kKey);
    EXPECT_EQ(half.resolve().at(2, 0), 0x202020u);
    EXPECT_EQ(half.resolve().at(3, 0), kKey);
}

TEST(Sprite, GlazeOnlyTouchesDrawnAreaAndBlendsBetweenColours) {
    Sprite s(8, 2);
    s.fill(rect(0, 0, 4, 2), solid(hex(0x000000)));
    s.fill(rect(0, 0, 8, 2), solid(hex(0xFFFFFF)), 0.5f, Sprite::Mode::Glaze);
    const Image img = s.resolve();
    EXPECT_EQ(img.at(1, 1), 0x808080u);
    EXPECT_EQ(img.at(6, 1), kKey);
}

TEST(Sprite, OutlineRingsTheShape) {
    Sprite s(10, 10);
    s.fill(rect(3, 3, 7, 7), solid(hex(0xFFFFFF)));
    s.outline(hex(0x101010), 1.0f);
    const Image img = s.resolve();
    EXPECT_EQ(img.at(5, 5), 0xFFFFFFu);
    EXPECT_EQ(img.at(2, 5), 0x101010u);
    EXPECT_EQ(img.at(7, 5), 0x101010u);
    EXPECT_EQ(img.at(0, 5), kKey);
}

TEST(Sprite, KeySafeMovesColoursAwayFromMagenta) {
    for (uint32_t c : {0xFF00FFu, 0xF020F0u, 0xD23BE0u}) {
        const uint32_t out = Sprite::keySafe(hex(c));
        EXPECT_FALSE(nearKey(out)) << std::hex << c;
        EXPECT_NE(out, kKey) << std::hex << c;
    }
    EXPECT_EQ(Sprite::keySafe(hex(0xFF7AC0)), 0xFF7AC0u);
    EXPECT_EQ(Sprite::keySafe(hex(0x1A4E84)), 0x1A4E84u);
}

// ------------------------------------------------------------ font

TEST(Font, GlyphsAreWellFormedAndDrawnCellByCell) {
    for (const Glyph& g : glyphs()) {
        for (const char* row : g.rows) {
            ASSERT_EQ(std::string(row).size(), 5u) << "glyph " << g.ch;
            EXPECT_EQ(std::string(row).find_first_not_of("#."), std::string::npos) << "glyph " << g.ch;
        }
    }
    for (char ch : std::string("RELOADING CORE!")) EXPECT_NO_THROW(glyphFor(ch)) << ch;
    EXPECT_THROW(glyphFor('Q'), std::runtime_error);
    EXPECT_EQ(textWidth("CORE", 3), 69);

    Sprite s(12, 8);
    drawText(s, "L", 1, 0, 1, solid(hex(0xFFFFFF)));
    const Image img = s.resolve();
    EXPECT_EQ(img.at(1, 0), 0xFFFFFFu);  // the L's upright
    EXPECT_EQ(img.at(2, 0), kKey);
    for (int x = 1; x <= 5; ++x) EXPECT_EQ(img.at(x, 6), 0xFFFFFFu);  // its foot
    EXPECT_EQ(img.at(6, 6), kKey);
}

// ------------------------------------------------------------ written files

class ArtFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = fs::temp_directory_path() / ("make_art_test_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        const std::string out = (root_ / "a").string();
        const char* argv[] = {"make_art", out.c_str()};
        std::ostringstream err;
        status_ = run(2, argv, err);
        messages_ = err.str();
        for (const Expected& e : kExpected) {
            const std::vector<uint8_t> bytes = readFile(root_ / "a" / "imgs" / e.file);
            images_.emplace(e.file, bytes.size() > 54 ? decode(bytes) : Image(0, 0));
        }
    }
    static void TearDownTestSuite() {
        images_.clear();
        fs::remove_all(root_);
    }
    static const Image& image(const std::string& name) { return images_.at(name); }

    static inline fs::path root_;
    static inline int status_ = -1;
    static inline std::string messages_;
    static inline std::map<std::string, Image> images_;
};

TEST_F(ArtFiles, RunSucceedsSilentlyAndWritesExactlyTheFiveFiles) {
    EXPECT_EQ(status_, 0);
    EXPECT_EQ(messages_, "");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / "a" / "imgs")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Background.bmp", "Crit.bmp", "Player.bmp", "ene.bmp", "reload.bmp"}));
}

TEST_F(ArtFiles, HeadersDescribeUncompressed24BitImages) {
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.file);
        expectHeader(readFile(root_ / "a" / "imgs" / e.file), e.width, e.height);
    }
}

TEST_F(ArtFiles, SecondRunIsByteIdentical) {
    const std::string out = (root_ / "b").string();
    const char* argv[] = {"make_art", out.c_str()};
    std::ostringstream err;
    ASSERT_EQ(run(2, argv, err), 0) << err.str();
    for (const Expected& e : kExpected) {
        const std::vector<uint8_t> first = readFile(root_ / "a" / "imgs" / e.file);
        EXPECT_FALSE(first.empty()) << e.file;
        EXPECT_TRUE(first == readFile(root_ / "b" / "imgs" / e.file)) << e.file << " differs between runs";
    }
}

TEST_F(ArtFiles, BackgroundIsOpaqueAndVaried) {
    const Image& bg = image("Background.bmp");
    std::map<uint32_t, int> colours;
    int bright = 0;
    for (uint32_t c : bg.px) {
        ASSERT_NE(c, kKey);
        ++colours[c];
        if (luma(c) > 180) ++bright;
    }
    EXPECT_GT(colours.size(), 20000u) << "expected soft gradients, not flat fills";
    EXPECT_GT(bright, 300) << "expected stars and a lit planet";
}

TEST_F(ArtFiles, BackgroundStaysDarkWhereTextAndHudAreDrawn) {
    const Image& bg = image("Background.bmp");
    const auto regionStats = [&](int x0, int y0, int x1, int y1, float& mean, int& bright) {
        double sum = 0;
        int n = 0;
        bright = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const float l = luma(bg.at(x, y));
                sum += l;
                bright += l > 90;
                ++n;
            }
        }
        mean = float(sum / n);
    };
    // a handful of faint stars may poke above the limit, a bright one may not
    float mean = 0;
    int bright = 0;
    regionStats(250, 250, 800, 400, mean, bright);
    EXPECT_LT(mean, 22) << "text area";
    EXPECT_LE(bright, 12) << "text area";
    regionStats(0, 0, 1024, 30, mean, bright);
    EXPECT_LT(mean, 22) << "HUD strip";
    EXPECT_LE(bright, 12) << "HUD strip";
}

TEST_F(ArtFiles, SpritesUseTheKeyColourCleanly) {
    struct Share {
        const char* file;
        float lo, hi;
    };
    for (const Share& s : {Share{"Player.bmp", 0.30f, 0.90f}, Share{"ene.bmp", 0.30f, 0.90f},
                           Share{"reload.bmp", 0.90f, 0.999f}, Share{"Crit.bmp", 0.25f, 0.80f}}) {
        SCOPED_TRACE(s.file);
        const Image& img = image(s.file);
        ASSERT_GT(img.width, 0);
        EXPECT_EQ(img.at(0, 0), kKey);
        EXPECT_EQ(img.at(img.width - 1, 0), kKey);
        EXPECT_EQ(img.at(0, img.height - 1), kKey);
        EXPECT_EQ(img.at(img.width - 1, img.height - 1), kKey);
        int drawn = 0, almostKey = 0;
        for (uint32_t c : img.px) {
            drawn += c != kKey;
            almostKey += nearKey(c);
        }
        EXPECT_EQ(almostKey, 0);
        const float share = float(drawn) / float(img.px.size());
        EXPECT_GE(share, s.lo);
        EXPECT_LE(share, s.hi);
    }
}

TEST_F(ArtFiles, ShipPointsRightWithFlameOnTheLeft) {
    const Image& ship = image("Player.bmp");
    int right = -1, left = ship.width;
    for (int y = 0; y < ship.height; ++y) {
        for (int x = 0; x < ship.width; ++x) {
            if (ship.at(x, y) == kKey) continue;
            right = std::max(right, x);
            left = std::min(left, x);
        }
    }
    EXPECT_GE(right, ship.width - 2);
    EXPECT_LE(left, 1);
    for (int y = 0; y < ship.height; ++y) {
        const uint32_t nose = ship.at(right, y), tail = ship.at(left, y);
        if (nose != kKey) {
            EXPECT_NEAR(y, 17, 2) << "nose should be a point on the centre line";
        }
        if (tail != kKey) {
            EXPECT_GT(red(tail), blue(tail) + 80) << "flame should be hot at row " << y;
        }
    }
}

TEST_F(ArtFiles, AlienLooksLeft) {
    // its fiery eye sits in the left half
    const Image& alien = image("ene.bmp");
    double sumX = 0;
    int n = 0;
    for (int y = 0; y < alien.height; ++y) {
        for (int x = 0; x < alien.width; ++x) {
            const uint32_t c = alien.at(x, y);
            if (c != kKey && red(c) > 200 && green(c) > 60 && blue(c) < 80) {
                sumX += x;
                ++n;
            }
        }
    }
    ASSERT_GT(n, 5);
    EXPECT_LT(sumX / n, alien.width / 2.0);
}

TEST_F(ArtFiles, PanelsHaveReadableText) {
    // bright lettering against a dark panel; the panel is shown translucent
    const Image& reload = image("reload.bmp");
    int bright = 0, dark = 0;
    for (int y = 19; y < 41; ++y) {
        for (int x = 10; x < 190; ++x) {
            const float l = luma(reload.at(x, y));
            bright += l > 170;
            dark += l < 50;
        }
    }
    EXPECT_GT(bright, 600);
    EXPECT_GT(dark, 1200);

    const Image& crit = image("Crit.bmp");
    int yellow = 0, redish = 0;
    for (uint32_t c : crit.px) {
        if (c == kKey) continue;
        yellow += red(c) > 220 && green(c) > 160 && blue(c) < 100;
        redish += red(c) > 150 && green(c) < 90 && blue(c) < 90;
    }
    EXPECT_GT(yellow, 150);
    EXPECT_GT(redish, 150);
}

// ------------------------------------------------------------ command line

TEST(Run, ReportsFailuresOnOneLine) {
    const auto expectOneLineError = [](int argc, const char* const* argv) {
        std::ostringstream err;
        EXPECT_EQ(run(argc, argv, err), 1);
        const std::string msg = err.str();
        EXPECT_EQ(msg.rfind("make_art: ", 0), 0u) << msg;
        EXPECT_EQ(std::count(msg.begin(), msg.end(), '\n'), 1) << msg;
    };
    const char* noArgs[] = {"make_art"};
    expectOneLineError(1, noArgs);
    const char* tooMany[] = {"make_art", "a", "b"};
    expectOneLineError(3, tooMany);

    // the output directory's parent is a plain file
    const fs::path blocker = fs::temp_directory_path() / ("make_art_blocker_" + std::to_string(::getpid()));
    std::ofstream(blocker) << "x";
    const std::string out = (blocker / "out").string();
    const char* blocked[] = {"make_art", out.c_str()};
    expectOneLineError(2, blocked);
    fs::remove(blocker);
}

}  // namespace
