// make_art: draws the game's pictures and writes them as 24-bit Windows
// bitmaps into OUTDIR/imgs/.
//
//   Background.bmp  1024x768  starfield, nebula clouds, ringed planet, moon
//   Player.bmp        50x35   the player's fighter, nose pointing right
//   ene.bmp           25x25   alien creature, facing left
//   reload.bmp       200x100  "RELOADING" panel
//   Crit.bmp         140x52   core warning sign
//
// Sprites use 0xFF00FF as the "not drawn" key. They are rendered with 4x4
// supersampling: a pixel whose coverage is at least one half takes the
// average colour of its *drawn* subsamples, anything else becomes the key.
// Edges are therefore smoothed between the sprite's own colours but never
// fade toward magenta.
//
// All randomness comes from fixed seeds, so every run writes the same bytes.
// Build with MAKE_ART_NO_MAIN defined to reuse the drawing code elsewhere.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace make_art {

namespace fs = std::filesystem;

constexpr uint32_t kKey = 0xFF00FF;

// ---------------------------------------------------------------- basics

struct Rgb {
    float r = 0, g = 0, b = 0;
};

inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Rgb& operator+=(Rgb& a, Rgb b) { return a = a + b; }

constexpr Rgb hex(uint32_t c) {
    return {((c >> 16) & 0xFF) / 255.f, ((c >> 8) & 0xFF) / 255.f, (c & 0xFF) / 255.f};
}

inline float clamp01(float v) { return std::clamp(v, 0.f, 1.f); }
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
inline Rgb mix(Rgb a, Rgb b, float t) { return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t)}; }
inline float smoothstep(float e0, float e1, float x) {
    const float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

inline uint8_t toByte(float v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.f)); }

inline uint32_t pack(Rgb c) {
    return (uint32_t(toByte(c.r)) << 16) | (uint32_t(toByte(c.g)) << 8) | toByte(c.b);
}

// A finished picture: 0xRRGGBB per pixel, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> px;

    Image(int w, int h, uint32_t fill = kKey) : width(w), height(h), px(size_t(w) * h, fill) {}
    uint32_t at(int x, int y) const { return px[size_t(y) * width + x]; }
    void set(int x, int y, uint32_t c) { px[size_t(y) * width + x] = c; }
};

// Deterministic generator (splitmix64); std distributions differ between
// standard libraries, so we do our own float conversion.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float uniform() { return float(next() >> 40) / float(1u << 24); }
    float uniform(float lo, float hi) { return lo + (hi - lo) * uniform(); }

private:
    uint64_t state_;
};

inline uint32_t hash2(int x, int y, uint32_t seed) {
    uint32_t h = seed ^ (uint32_t(x) * 0x8DA6B343u) ^ (uint32_t(y) * 0xD8163841u);
    h ^= h >> 13;
    h *= 0x85EBCA6Bu;
    h ^= h >> 16;
    h *= 0xC2B2AE35u;
    h ^= h >> 15;
    return h;
}

inline float lattice(int x, int y, uint32_t seed) { return float(hash2(x, y, seed) & 0xFFFFFF) / float(0xFFFFFF); }

// Smooth value noise in [0,1].
inline float valueNoise(float x, float y, uint32_t seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    const float tx = x - fx, ty = y - fy;
    const float sx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
    const float sy = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
    const float a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    const float c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    return lerp(lerp(a, b, sx), lerp(c, d, sx), sy);
}

// Fractal sum of octaves, normalised back to [0,1].
inline float fbm(float x, float y, int octaves, uint32_t seed) {
    float sum = 0, amp = 1, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * valueNoise(x, y, seed + uint32_t(i) * 101u);
        norm += amp;
        amp *= 0.5f;
        // rotate a little between octaves to hide the lattice
        const float nx = 1.6f * x + 1.2f * y, ny = -1.2f * x + 1.6f * y;
        x = nx + 17.3f;
        y = ny + 9.1f;
    }
    return sum / norm;
}

// ---------------------------------------------------------------- BMP

inline void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// Uncompressed 24-bit BMP, bottom-up rows padded to 4 bytes, BGR order.
inline std::vector<uint8_t> encodeBmp(const Image& img) {
    const uint32_t rowBytes = (uint32_t(img.width) * 3 + 3) & ~3u;
    const uint32_t dataSize = rowBytes * uint32_t(img.height);
    std::vector<uint8_t> out;
    out.reserve(54 + dataSize);
    out.push_back('B');
    out.push_back('M');
    put32(out, 54 + dataSize);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, uint32_t(img.width));
    put32(out, uint32_t(img.height));
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);
    put32(out, dataSize);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = img.height - 1; y >= 0; --y) {
        const size_t rowStart = out.size();
        for (int x = 0; x < img.width; ++x) {
            const uint32_t c = img.at(x, y);
            out.push_back(uint8_t(c));
            out.push_back(uint8_t(c >> 8));
            out.push_back(uint8_t(c >> 16));
        }
        while (out.size() - rowStart < rowBytes) out.push_back(0);
    }
    return out;
}

// ---------------------------------------------------------------- sprites

struct Vec2 {
    float x, y;
};

struct Box {
    float x0, y0, x1, y1;
};

// A region of the plane: a bounding box plus a point test.
struct Shape {
    Box box;
    std::function<bool(float, float)> inside;
};

using Shader = std::function<Rgb(float, float)>;

inline Shader solid(Rgb c) {
    return [c](float, float) { return c; };
}
inline Shader vgrad(float y0, Rgb c0, float y1, Rgb c1) {
    return [=](float, float y) { return mix(c0, c1, clamp01((y - y0) / (y1 - y0))); };
}
inline Shader hgrad(float x0, Rgb c0, float x1, Rgb c1) {
    return [=](float x, float) { return mix(c0, c1, clamp01((x - x0) / (x1 - x0))); };
}
inline Shader radial(float cx, float cy, float r, Rgb inner, Rgb outer) {
    return [=](float x, float y) { return mix(inner, outer, clamp01(std::hypot(x - cx, y - cy) / r)); };
}

inline Shape rect(float x0, float y0, float x1, float y1) {
    return {{x0, y0, x1, y1}, [=](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; }};
}

inline Shape ellipse(float cx, float cy, float rx, float ry) {
    return {{cx - rx, cy - ry, cx + rx, cy + ry}, [=](float x, float y) {
                const float dx = (x - cx) / rx, dy = (y - cy) / ry;
                return dx * dx + dy * dy <= 1.f;
            }};
}

inline Shape roundRect(float x0, float y0, float x1, float y1, float r) {
    return {{x0, y0, x1, y1}, [=](float x, float y) {
                if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
                const float dx = std::max({x0 + r - x, x - (x1 - r), 0.f});
                const float dy = std::max({y0 + r - y, y - (y1 - r), 0.f});
                return dx * dx + dy * dy <= r * r;
            }};
}

inline float segmentDistance(Vec2 p, Vec2 a, Vec2 b) {
    const float vx = b.x - a.x, vy = b.y - a.y;
    const float len2 = vx * vx + vy * vy;
    const float t = len2 > 0 ? clamp01(((p.x - a.x) * vx + (p.y - a.y) * vy) / len2) : 0.f;
    return std::hypot(p.x - (a.x + vx * t), p.y - (a.y + vy * t));
}

inline Shape capsule(Vec2 a, Vec2 b, float r) {
    return {{std::min(a.x, b.x) - r, std::min(a.y, b.y) - r, std::max(a.x, b.x) + r, std::max(a.y, b.y) + r},
            [=](float x, float y) { return segmentDistance({x, y}, a, b) <= r; }};
}

inline bool insidePolygon(const std::vector<Vec2>& pts, float x, float y) {
    bool in = false;
    for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
        const Vec2 a = pts[i], b = pts[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
}

// Polygon grown outward by `round`, which rounds its corners.
inline Shape polygon(std::vector<Vec2> pts, float round = 0) {
    Box box{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
    for (const Vec2& p : pts) {
        box = {std::min(box.x0, p.x), std::min(box.y0, p.y), std::max(box.x1, p.x), std::max(box.y1, p.y)};
    }
    box = {box.x0 - round, box.y0 - round, box.x1 + round, box.y1 + round};
    return {box, [pts = std::move(pts), round](float x, float y) {
                if (insidePolygon(pts, x, y)) return true;
                if (round <= 0) return false;
                for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
                    if (segmentDistance({x, y}, pts[i], pts[j]) <= round) return true;
                }
                return false;
            }};
}

inline Shape mirrorY(const std::vector<Vec2>& pts, float axis, float round = 0) {
    std::vector<Vec2> m;
    for (const Vec2& p : pts) m.push_back({p.x, 2 * axis - p.y});
    return polygon(m, round);
}

inline Shape minus(Shape a, Shape b) {
    return {a.box, [a, b](float x, float y) { return a.inside(x, y) && !b.inside(x, y); }};
}

// Moves every corner of a triangle `d` pixels inward (toward the incentre).
inline std::vector<Vec2> insetTriangle(const std::vector<Vec2>& t, float d) {
    const float la = std::hypot(t[1].x - t[2].x, t[1].y - t[2].y);
    const float lb = std::hypot(t[0].x - t[2].x, t[0].y - t[2].y);
    const float lc = std::hypot(t[0].x - t[1].x, t[0].y - t[1].y);
    const float per = la + lb + lc;
    const Vec2 in{(la * t[0].x + lb * t[1].x + lc * t[2].x) / per, (la * t[0].y + lb * t[1].y + lc * t[2].y) / per};
    const float area = std::abs((t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (t[1].y - t[0].y)) / 2;
    const float k = (2 * area / per - d) / (2 * area / per);
    std::vector<Vec2> out;
    for (const Vec2& p : t) out.push_back({in.x + (p.x - in.x) * k, in.y + (p.y - in.y) * k});
    return out;
}

// Supersampled drawing surface with premultiplied alpha per subsample.
class Sprite {
public:
    static constexpr int kSS = 4;
    enum class Mode {
        Over,   // paint wherever the shape is
        Glaze,  // paint only on subsamples that are already drawn
    };

    Sprite(int w, int h) : w_(w), h_(h), sub_(size_t(w * kSS) * size_t(h * kSS)) {}

    void fill(const Shape& s, const Shader& shade, float alpha = 1.f, Mode mode = Mode::Over) {
        const int sx0 = std::max(0, int(std::floor(s.box.x0 * kSS)));
        const int sy0 = std::max(0, int(std::floor(s.box.y0 * kSS)));
        const int sx1 = std::min(w_ * kSS, int(std::ceil(s.box.x1 * kSS)) + 1);
        const int sy1 = std::min(h_ * kSS, int(std::ceil(s.box.y1 * kSS)) + 1);
        for (int sy = sy0; sy < sy1; ++sy) {
            for (int sx = sx0; sx < sx1; ++sx) {
                const float x = (sx + 0.5f) / kSS, y = (sy + 0.5f) / kSS;
                if (!s.inside(x, y)) continue;
                Sub& d = sub_[size_t(sy) * (w_ * kSS) + sx];
                if (mode == Mode::Glaze && d.a <= 0) continue;
                const Rgb c = shade(x, y);
                const float a = mode == Mode::Glaze ? alpha * d.a : alpha;
                d.c = c * a + d.c * (1 - a);
                d.a = a + d.a * (1 - a);
            }
        }
    }

    // Surrounds everything drawn so far with a rim `radius` pixels wide.
    void outline(Rgb colour, float radius) {
        const int w = w_ * kSS, h = h_ * kSS;
        const int r = int(std::ceil(radius * kSS));
        std::vector<char> solidMask(sub_.size());
        for (size_t i = 0; i < sub_.size(); ++i) solidMask[i] = sub_[i].a >= 0.5f;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                Sub& d = sub_[size_t(y) * w + x];
                if (d.a >= 0.5f) continue;
                bool near = false;
                for (int dy = -r; dy <= r && !near; ++dy) {
                    for (int dx = -r; dx <= r && !near; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                        if (float(dx * dx + dy * dy) > radius * radius * kSS * kSS) continue;
                        near = solidMask[size_t(ny) * w + nx];
                    }
                }
                if (near) d = {colour, 1.f};
            }
        }
    }

    Image resolve() const {
        Image img(w_, h_);
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                Rgb sum;
                float cover = 0;
                for (int sy = 0; sy < kSS; ++sy) {
                    for (int sx = 0; sx < kSS; ++sx) {
                        const Sub& s = sub_[size_t(y * kSS + sy) * (w_ * kSS) + x * kSS + sx];
                        sum += s.c;
                        cover += s.a;
                    }
                }
                if (cover < kSS * kSS * 0.5f) continue;  // stays key colour
                img.set(x, y, keySafe(sum * (1.f / cover)));
            }
        }
        return img;
    }

    // Pushes a colour away from the key so the blitter never mistakes it.
    static uint32_t keySafe(Rgb c) {
        uint32_t p = pack(c);
        const uint32_t r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
        if (r > 200 && b > 200 && g < 60) p = (r << 16) | (60u << 8) | b;
        return p;
    }

private:
    struct Sub {
        Rgb c;  // premultiplied
        float a = 0;
    };
    int w_, h_;
    std::vector<Sub> sub_;
};

// ---------------------------------------------------------------- font

// 5x7 block letters, only the characters the game's pictures use.
struct Glyph {
    char ch;
    std::array<const char*, 7> rows;
};

inline const std::array<Glyph, 12>& glyphs() {
    static const std::array<Glyph, 12> table = {{
        {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
        {'C', {".####", "#....", "#....", "#....", "#....", "#....", ".####"}},
        {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
        {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
        {'G', {".####", "#....", "#....", "#.###", "#...#", "#...#", ".####"}},
        {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
        {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
        {'N', {"#...#", "##..#", "##..#", "#.#.#", "#..##", "#..##", "#...#"}},
        {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
        {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
        {'!', {"..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."}},
        {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    }};
    return table;
}

inline const Glyph& glyphFor(char ch) {
    for (const Glyph& g : glyphs()) {
        if (g.ch == ch) return g;
    }
    throw std::runtime_error(std::string("no glyph for '") + ch + "'");
}

inline int textWidth(const std::string& text, int scale) {
    return text.empty() ? 0 : int(text.size()) * 6 * scale - scale;
}

inline void drawText(Sprite& s, const std::string& text, float x, float y, int scale, const Shader& shade,
                     float alpha = 1.f) {
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph& g = glyphFor(text[i]);
        const float gx = x + float(i) * 6 * scale;
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (g.rows[size_t(row)][col] != '#') continue;
                s.fill(rect(gx + col * scale, y + row * scale, gx + (col + 1) * scale, y + (row + 1) * scale),
                       shade, alpha);
            }
        }
    }
}

// ---------------------------------------------------------------- player

inline Image drawPlayer() {
    constexpr float cy = 17.5f;
    Sprite s(50, 35);
    const Rgb steelLight = hex(0x8FA8CF), steelDark = hex(0x3B4B6E);

    // swept wings, tips at the rear
    const std::vector<Vec2> wing = {{12, 14}, {14.5f, 3}, {21, 2.5f}, {35, 14}};
    s.fill(polygon(wing, 0.6f), vgrad(3, steelDark, 14, steelLight));
    s.fill(mirrorY(wing, cy, 0.6f), vgrad(32, steelDark, 21, steelDark * 0.8f));
    // leading edge highlight and red tips
    s.fill(capsule({21.5f, 3}, {35, 14}, 0.8f), solid(hex(0xC8DAF5)), 0.9f, Sprite::Mode::Glaze);
    s.fill(capsule({21.5f, 32}, {35, 21}, 0.8f), solid(hex(0x7286AA)), 0.9f, Sprite::Mode::Glaze);
    s.fill(rect(12, 0, 40, 6), solid(hex(0xE0442A)), 1.f, Sprite::Mode::Glaze);
    s.fill(rect(12, 29, 40, 35), solid(hex(0xA8301F)), 1.f, Sprite::Mode::Glaze);
    // wing-tip cannons
    for (float gy : {3.2f, 31.8f}) {
        s.fill(capsule({15, gy}, {29, gy}, 1.3f), vgrad(gy - 1.3f, hex(0xD8DEE8), gy + 1.3f, hex(0x5A6272)));
        s.fill(rect(28, gy - 1.4f, 30, gy + 1.4f), solid(hex(0x2A2F3A)));
    }

    // engine block
    s.fill(roundRect(7, 11.5f, 15, 23.5f, 2), vgrad(11.5f, hex(0x9AA3B0), 23.5f, hex(0x2E333C)));
    s.fill(rect(7, 13, 9, 22), solid(hex(0x1C1F26)));

    // fuselage: straight tail section, then a pointed nose
    const auto halfHeight = [](float x) {
        if (x < 24) return 5.6f + (x - 11) / 13 * 1.6f;
        const float t = (x - 24) / 25.6f;
        return 7.2f * (1 - t) * (1 + 0.9f * t);
    };
    const Shape body{{11, cy - 8, 49.6f, cy + 8}, [=](float x, float y) {
                         return x >= 11 && x <= 49.6f && std::abs(y - cy) < halfHeight(x);
                     }};
    s.fill(body, vgrad(cy - 7, hex(0xEEF3FA), cy + 7, hex(0x6C7890)));
    s.fill(body, vgrad(cy + 1, hex(0x6C7890), cy + 7, hex(0x38415A)), 0.7f, Sprite::Mode::Glaze);
    s.fill(rect(11, cy - 8, 50, cy - 4.6f), solid(hex(0xFFFFFF)), 0.35f, Sprite::Mode::Glaze);
    // accent stripe, nose cone, panel line
    s.fill(polygon({{14, cy + 1.6f}, {40, cy + 0.6f}, {40, cy + 2.2f}, {14, cy + 3.2f}}), solid(hex(0xE0442A)), 1.f,
           Sprite::Mode::Glaze);
    s.fill(rect(44.5f, 0, 50, 35), hgrad(44.5f, hex(0xC23A24), 49.6f, hex(0xF07050)), 1.f, Sprite::Mode::Glaze);
    s.fill(rect(22.4f, 0, 23.2f, 35), solid(hex(0x46506A)), 0.6f, Sprite::Mode::Glaze);

    // cockpit canopy with frame and glint
    s.fill(ellipse(33, cy - 3.2f, 7.8f, 3.6f), solid(hex(0x3A4358)));
    s.fill(ellipse(33, cy - 3.3f, 6.9f, 2.8f), radial(29.5f, cy - 5.5f, 9, hex(0x8FE8FF), hex(0x0B2A5C)));
    s.fill(ellipse(31, cy - 4.3f, 2.8f, 0.9f), solid(hex(0xFFFFFF)), 0.85f);

    s.outline(hex(0x0E1220), 0.8f);

    // exhaust flame, drawn after the rim so it glows past it
    const auto flame = [cy](float len, float width, float x0) {
        return Shape{{x0 - len, cy - width, x0, cy + width}, [=](float x, float y) {
                         const float t = (x - (x0 - len)) / len;  // 0 at the tip
                         return t >= 0 && t <= 1 && std::abs(y - cy) < width * std::pow(t, 0.65f);
                     }};
    };
    s.fill(flame(9.5f, 4.6f, 9.5f), [cy](float x, float y) {
        const float t = clamp01(x / 9.5f), c = 1 - clamp01(std::abs(y - cy) / 4.6f);
        const Rgb outer = mix(hex(0xD8341A), hex(0xFF9A2A), t);
        return mix(outer, hex(0xFFE27A), c * c * t);
    });
    s.fill(flame(6.5f, 2.0f, 9.5f), hgrad(3, hex(0xFFD36A), 9.5f, hex(0xFFFBEA)));
    return s.resolve();
}

// ---------------------------------------------------------------- alien

inline Image drawAlien() {
    constexpr float cy = 12.5f;
    Sprite s(25, 25);

    // trailing tentacles, thinning toward the glowing tips
    for (int i = -1; i <= 1; ++i) {
        const float y0 = cy + i * 4.2f, y1 = cy + i * 8.5f;
        for (int k = 0; k <= 24; ++k) {
            const float t = k / 24.f;
            const float x = 15 + t * 9.2f;
            const float y = lerp(y0, y1, t) + std::sin(t * 5.5f + i * 1.7f) * 1.1f * t;
            const float r = lerp(1.9f, 0.75f, t);
            s.fill(ellipse(x, y, r, r), [t](float, float) { return mix(hex(0x7A44C8), hex(0xFF7AC0), t * t); });
        }
    }

    // pincers curling forward around the eye
    std::vector<Vec2> jaw;
    constexpr int kSteps = 12;
    for (int k = 0; k <= kSteps; ++k) {  // outer edge, root to tip
        const float th = lerp(-1.35f, -2.95f, k / float(kSteps));
        jaw.push_back({8.8f + 7.6f * std::cos(th), 11.2f + 7.6f * std::sin(th)});
    }
    for (int k = kSteps - 1; k >= 0; --k) {  // inner edge back to the root, thinning toward the tip
        const float u = k / float(kSteps), th = lerp(-1.35f, -2.95f, u);
        const float r = 7.6f - 2.8f * std::pow(1 - u, 0.8f);
        jaw.push_back({8.8f + r * std::cos(th), 11.2f + r * std::sin(th)});
    }
    const Shader bone = vgrad(4.5f, hex(0xF2EBC4), 9, hex(0x9C8E5C));
    s.fill(polygon(jaw, 0.4f), bone);
    s.fill(mirrorY(jaw, cy, 0.4f), vgrad(20.5f, hex(0xF2EBC4), 16, hex(0x8A7C4E)));

    // spines along the back
    for (float x : {11.f, 14.5f}) {
        s.fill(polygon({{x - 1.6f, 6}, {x + 3.2f, 1.2f}, {x + 1.8f, 6.5f}}), vgrad(1, hex(0xC9F27A), 6, hex(0x3F8A2A)));
        s.fill(polygon({{x - 1.6f, 19}, {x + 3.2f, 23.8f}, {x + 1.8f, 18.5f}}), vgrad(24, hex(0x2F6A22), 19, hex(0x3F8A2A)));
    }

    // armoured body, lit from the upper left
    s.fill(ellipse(12.8f, cy, 8.6f, 7.6f), radial(9, 7.5f, 13, hex(0x9BF06A), hex(0x0F3B1E)));
    s.fill(minus(ellipse(12.8f, cy, 8.6f, 7.6f), ellipse(12, cy - 0.6f, 7.6f, 6.6f)), solid(hex(0x0A2614)), 0.55f,
           Sprite::Mode::Glaze);
    // glowing pores
    for (const Vec2 p : {Vec2{14.5f, 7.8f}, Vec2{17.3f, 11.2f}, Vec2{14.8f, 17.2f}}) {
        s.fill(ellipse(p.x, p.y, 1.1f, 1.1f), solid(hex(0x7CF7FF)));
    }

    // big forward eye
    s.fill(ellipse(8, cy, 4.6f, 4.4f), solid(hex(0x12060A)));
    s.fill(ellipse(7.8f, cy, 3.6f, 3.5f), radial(7.2f, cy - 0.6f, 3.8f, hex(0xFFF27A), hex(0xE8401A)));
    s.fill(ellipse(6.9f, cy, 1.0f, 2.5f), solid(hex(0x12060A)));
    s.fill(ellipse(6.2f, cy - 1.8f, 0.7f, 0.7f), solid(hex(0xFFFFFF)));

    s.outline(hex(0x081A0E), 0.7f);
    return s.resolve();
}

// ---------------------------------------------------------------- panels

inline Image drawReload() {
    constexpr int W = 200, H = 100;
    Sprite s(W, H);

    // bevelled frame around a dark glass panel
    s.fill(roundRect(0, 0, W, H, 16), vgrad(0, hex(0x9FE3FF), H, hex(0x1A4E84)));
    s.fill(roundRect(4, 4, W - 4, H - 4, 12.5f), vgrad(4, hex(0x17233F), H - 4, hex(0x060A18)));
    s.fill(minus(roundRect(8, 8, W - 8, H - 8, 9), roundRect(9, 9, W - 9, H - 9, 8)), solid(hex(0x3A6A9E)), 0.8f);
    s.fill(rect(5, 5, W - 5, 30), solid(hex(0xFFFFFF)), 0.05f, Sprite::Mode::Glaze);

    // rivets
    for (const Vec2 p : {Vec2{12.5f, 12.5f}, Vec2{W - 12.5f, 12.5f}, Vec2{12.5f, H - 12.5f}, Vec2{W - 12.5f, H - 12.5f}}) {
        s.fill(ellipse(p.x, p.y, 2.4f, 2.4f), radial(p.x - 0.8f, p.y - 0.8f, 3, hex(0xE6F2FF), hex(0x4A6A8E)));
    }

    // title with drop shadow
    const std::string title = "RELOADING";
    const float tx = float((W - textWidth(title, 3)) / 2), ty = 19;
    drawText(s, title, tx + 2, ty + 2, 3, solid(hex(0x000000)), 0.85f);
    drawText(s, title, tx, ty, 3, vgrad(ty, hex(0xFFFFF0), ty + 21, hex(0xFFB02E)));

    // segmented progress bar, partly filled
    s.fill(roundRect(22, 56, W - 22, 80, 6), solid(hex(0x3A6A9E)));
    s.fill(roundRect(24, 58, W - 24, 78, 4.5f), solid(hex(0x03060E)));
    constexpr int kSegments = 10, kLit = 6;
    const float segW = (W - 2 * 27 - (kSegments - 1) * 2) / float(kSegments);
    for (int i = 0; i < kSegments; ++i) {
        const float x0 = 27 + i * (segW + 2);
        const Shape seg = roundRect(x0, 61, x0 + segW, 75, 1.5f);
        if (i < kLit) {
            s.fill(seg, vgrad(61, hex(0xA6FFE6), 75, hex(0x12A878)));
            s.fill(rect(x0, 61, x0 + segW, 64), solid(hex(0xFFFFFF)), 0.35f, Sprite::Mode::Glaze);
        } else if (i == kLit) {
            s.fill(seg, vgrad(61, hex(0x5AB89E), 75, hex(0x0E5A44)));
        } else {
            s.fill(seg, solid(hex(0x12263A)));
        }
    }
    return s.resolve();
}

inline Image drawCrit() {
    constexpr int W = 140, H = 52;
    Sprite s(W, H);

    // red-rimmed yellow triangle with a heavy "!"
    const std::vector<Vec2> tri = {{30, 1.2f}, {58.8f, 50.6f}, {1.2f, 50.6f}};
    s.fill(polygon(insetTriangle(tri, 4), 4), vgrad(0, hex(0xFF6A4A), 50, hex(0xA8100C)));
    s.fill(polygon(insetTriangle(tri, 7.5f), 1.5f), vgrad(16, hex(0xFFF07A), 46, hex(0xFFB400)));
    const Rgb ink = hex(0x1E0E06);
    s.fill(polygon({{27.4f, 19.5f}, {32.6f, 19.5f}, {31.2f, 34}, {28.8f, 34}}, 0.8f), solid(ink));
    s.fill(ellipse(30, 39.6f, 2.6f, 2.6f), solid(ink));

    // label and hazard stripe
    const float tx = 66, ty = 8;
    drawText(s, "CORE", tx, ty, 3, vgrad(ty, hex(0xFFE25A), ty + 21, hex(0xFF3A1E)));
    const Shape bar = roundRect(tx, 35, tx + textWidth("CORE", 3), 45, 2.5f);
    s.fill(bar, [](float x, float y) {
        const bool dark = int(std::floor((x + y) / 5.f)) % 2 == 0;
        return dark ? hex(0x1E0E06) : hex(0xFFC81E);
    });

    s.outline(hex(0x1A0404), 1.1f);
    return s.resolve();
}

// ---------------------------------------------------------------- background

namespace bg {

constexpr int W = 1024, H = 768;

// 1 over the box where the game types its green text, fading to 0 around it.
inline float textCalm(float x, float y) {
    const float dx = std::max({250 - x, x - 800, 0.f}), dy = std::max({250 - y, y - 400, 0.f});
    return 1 - smoothstep(0, 90, std::hypot(dx, dy));
}

// 1 over the HUD strip at the top.
inline float hudCalm(float y) { return 1 - smoothstep(28, 120, y); }

inline float gauss(float dx, float dy, float sx, float sy) {
    return std::exp(-0.5f * (dx * dx / (sx * sx) + dy * dy / (sy * sy)));
}

// Where the nebula lives: two clouds and a faint band between them.
inline float nebulaMask(float x, float y) {
    const float a = gauss(x - 900, y - 190, 300, 200);
    const float b = gauss(x - 150, y - 620, 320, 230);
    const float band = std::exp(-0.5f * std::pow((x * 0.6f + y - 768 * 0.95f) / 190.f, 2.f)) * 0.55f;
    const float m = std::min(1.f, a + b + band);
    return m * (1 - 0.92f * textCalm(x, y)) * (1 - 0.85f * hudCalm(y));
}

struct V3 {
    float x, y, z;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator*(V3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
inline float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline V3 normalize(V3 v) { return v * (1 / std::sqrt(dot(v, v))); }

class Canvas {
public:
    Canvas() : px_(size_t(W) * H) {}
    Rgb& at(int x, int y) { return px_[size_t(y) * W + x]; }

    void splat(float cx, float cy, float sigma, Rgb peak) {
        const int r = int(std::ceil(sigma * 3));
        for (int y = std::max(0, int(cy) - r); y <= std::min(H - 1, int(cy) + r); ++y) {
            for (int x = std::max(0, int(cx) - r); x <= std::min(W - 1, int(cx) + r); ++x) {
                const float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
                at(x, y) += peak * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            }
        }
    }

    // Four-point diffraction spikes.
    void spikes(float cx, float cy, float len, Rgb peak) {
        const int r = int(len * 2.5f);
        for (int i = -r; i <= r; ++i) {
            const float fall = std::exp(-std::abs(float(i)) / (len * 0.45f));
            for (int w = -1; w <= 1; ++w) {
                const float across = std::exp(-float(w * w) * 1.6f);
                add(int(cx) + i, int(cy) + w, peak * (fall * across));
                if (i != 0) add(int(cx) + w, int(cy) + i, peak * (fall * across));
            }
        }
    }

    void add(int x, int y, Rgb c) {
        if (x >= 0 && y >= 0 && x < W && y < H) at(x, y) += c;
    }

private:
    std::vector<Rgb> px_;
};

inline void paintSky(Canvas& cv) {
    const Rgb deepBlue = hex(0x1A2E8C), violet = hex(0x6A2696), teal = hex(0x1A8C9E), rose = hex(0xD8588C);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const float fx = float(x), fy = float(y);
            Rgb c = mix(hex(0x03040C), hex(0x070612), fy / H);
            c += hex(0x0A0C1E) * (fbm(fx * 0.0015f, fy * 0.0015f, 3, 11) * 0.8f);

            const float mask = nebulaMask(fx, fy);
            if (mask > 0.003f) {
                const float wx = fbm(fx * 0.0035f, fy * 0.0035f, 4, 21);
                const float wy = fbm(fx * 0.0035f + 5.2f, fy * 0.0035f + 1.3f, 4, 22);
                const float n = fbm(fx * 0.0026f + 2.2f * wx, fy * 0.0026f + 2.2f * wy, 6, 23);
                const float density = std::pow(smoothstep(0.32f, 0.78f, n), 1.4f) * mask;
                Rgb col = mix(deepBlue, violet, smoothstep(0.35f, 0.65f, wx));
                col = mix(col, teal, smoothstep(0.5f, 0.72f, wy) * 0.8f);
                const float core = std::pow(density, 2.2f);
                col = mix(col, rose, core * 0.6f) + hex(0xFFF0F0) * (core * 0.25f);
                c += col * (density * 0.85f);
                // dark dust lanes
                const float dust = smoothstep(0.55f, 0.72f, fbm(fx * 0.006f + 3 * wy, fy * 0.006f, 4, 24));
                c = c * (1 - 0.6f * dust * mask);
            }
            cv.at(x, y) = c;
        }
    }
}

inline Rgb starColour(Rng& rng) {
    static const std::array<Rgb, 6> tints = {hex(0xBFD4FF), hex(0xFFFFFF), hex(0xFFF4E0),
                                             hex(0xFFD9A0), hex(0xFFB0A0), hex(0xA8F0FF)};
    return tints[rng.next() % tints.size()];
}

inline void paintStars(Canvas& cv) {
    Rng rng(0x5EED5u);
    const auto dimming = [](float x, float y) { return (1 - 0.65f * textCalm(x, y)) * (1 - 0.55f * hudCalm(y)); };

    // dust of faint stars, denser inside the nebula band
    for (int i = 0; i < 5200; ++i) {
        const float x = rng.uniform(0, W), y = rng.uniform(0, H);
        const float keep = 0.4f + 0.6f * nebulaMask(x, y);
        if (rng.uniform() > keep) continue;
        const float b = rng.uniform(0.12f, 0.45f) * dimming(x, y);
        cv.splat(x, y, 0.45f, mix(hex(0xFFFFFF), starColour(rng), 0.5f) * b);
    }
    // medium stars
    for (int i = 0; i < 520; ++i) {
        const float x = rng.uniform(0, W), y = rng.uniform(0, H);
        const float b = rng.uniform(0.45f, 0.95f) * dimming(x, y);
        cv.splat(x, y, rng.uniform(0.55f, 0.8f), starColour(rng) * b);
    }
    // a few bright, twinkling, coloured ones kept away from the text and HUD
    int placed = 0;
    while (placed < 34) {
        const float x = rng.uniform(8, W - 8), y = rng.uniform(50, H - 8);
        const Rgb c = starColour(rng);
        const float size = rng.uniform(0.8f, 1.3f);
        const bool spiky = rng.uniform() < 0.5f;
        if (textCalm(x, y) > 0) continue;
        ++placed;
        cv.splat(x, y, size, c * 1.1f);
        cv.splat(x, y, size * 3.2f, c * 0.16f);
        if (spiky) cv.spikes(x, y, rng.uniform(4, 9), c * 0.45f);
    }
}

inline void paintMoon(Canvas& cv, V3 light) {
    const float cx = 150, cy = 178, R = 26;
    struct Crater {
        float x, y, r;
    };
    const std::array<Crater, 7> craters = {{{-9, -8, 5}, {7, -12, 3.5f}, {10, 4, 6}, {-4, 9, 4},
                                            {-14, 4, 3}, {2, -2, 2.5f}, {14, -4, 2.5f}}};
    for (int y = int(cy - R - 2); y <= int(cy + R + 2); ++y) {
        for (int x = int(cx - R - 2); x <= int(cx + R + 2); ++x) {
            const float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
            const float rho = std::hypot(dx, dy);
            const float cover = clamp01(R - rho + 0.5f);
            if (cover <= 0) continue;
            const float nz = std::sqrt(std::max(0.f, 1 - (rho * rho) / (R * R)));
            const V3 n{dx / R, dy / R, nz};
            float albedo = 0.5f + 0.35f * fbm(dx * 0.12f, dy * 0.12f, 4, 31);
            for (const Crater& c : craters) {
                const float d = std::hypot(dx - c.x, dy - c.y);
                if (d < c.r) albedo *= 0.72f + 0.28f * (d / c.r);
                else if (d < c.r + 1.2f) albedo *= 1.18f;
            }
            const float lit = std::pow(clamp01(dot(n, light) * 1.1f + 0.05f), 0.9f);
            const Rgb surface = hex(0xD8D2C8) * (albedo * (0.02f + lit)) + hex(0x0A0E1E);
            Rgb& p = cv.at(x, y);
            p = mix(p, surface, cover);
        }
    }
}

inline float ringDensity(float r) {  // r in planet radii
    if (r < 1.3f || r > 2.08f) return 0;
    float d = smoothstep(1.3f, 1.42f, r) * (1 - smoothstep(1.96f, 2.08f, r));
    d *= 0.62f + 0.22f * std::sin(r * 47) + 0.16f * std::sin(r * 131 + 1);
    d *= 0.75f + 0.5f * (valueNoise(r * 60, 0.5f, 41) - 0.5f);
    d *= 1 - 0.9f * smoothstep(1.68f, 1.70f, r) * (1 - smoothstep(1.75f, 1.77f, r));
    if (r < 1.52f) d *= 0.45f;
    return clamp01(d);
}

inline Rgb bandColour(float t) {
    static const std::array<Rgb, 6> bands = {hex(0xEEDAB0), hex(0xC89A66), hex(0xA05A38),
                                             hex(0xE2C89C), hex(0x7C4A32), hex(0xD8A864)};
    const float f = t - std::floor(t);
    const float pos = f * bands.size();
    const size_t i = size_t(pos) % bands.size();
    return mix(bands[i], bands[(i + 1) % bands.size()], smoothstep(0.25f, 0.75f, pos - std::floor(pos)));
}

inline void paintPlanet(Canvas& cv, V3 light) {
    const float cx = 852, cy = 660, R = 150;
    const float tilt = -0.33f, open = 0.30f;
    const V3 a{std::cos(tilt), std::sin(tilt), 0};
    const V3 b{-std::sin(tilt), std::cos(tilt), 0};
    const V3 pole = b * -std::cos(open) + V3{0, 0, std::sin(open)};
    const V3 toward = b * std::sin(open) + V3{0, 0, std::cos(open)};
    const V3 side = cross(pole, a);
    const float ringLight = 0.35f + 0.65f * std::abs(dot(light, pole));

    const int x0 = std::max(0, int(cx - 2.2f * R)), y0 = std::max(0, int(cy - 2.2f * R));
    for (int y = y0; y < H; ++y) {
        for (int x = x0; x < W; ++x) {
            const float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
            const float rho = std::hypot(dx, dy);
            Rgb& p = cv.at(x, y);

            // ring where this line of sight crosses its plane
            const float zr = -(dx * pole.x + dy * pole.y) / pole.z;
            const V3 P{dx, dy, zr};
            const float rr = std::hypot(dot(P, a), dot(P, toward)) / R;
            const float ring = ringDensity(rr) * 0.85f;
            Rgb ringCol = hex(0xE0D2B8) * ringLight;
            if (ring > 0) {
                const float pl = dot(P, light);
                const float miss = std::sqrt(std::max(0.f, dot(P, P) - pl * pl)) - R;
                if (pl < 0) ringCol = ringCol * (0.12f + 0.88f * smoothstep(-2, 3, miss));
            }

            // atmosphere halo outside the disc, brightest on the sunlit limb
            if (rho > R - 1 && rho < R + 70) {
                const float facing = (dx * light.x + dy * light.y) / (rho * std::hypot(light.x, light.y));
                const float g = std::exp(-(rho - R) / 13.f) * (0.12f + 0.88f * smoothstep(-0.4f, 0.9f, facing));
                p += hex(0x5A9AFF) * (0.55f * g);
            }

            const float cover = clamp01(R - rho + 0.5f);
            Rgb planet;
            float zs = -1e9f;
            if (cover > 0) {
                zs = std::sqrt(std::max(0.f, R * R - rho * rho));
                const V3 n{dx / R, dy / R, zs / R};
                const float lat = dot(n, pole);
                const float lon = std::atan2(dot(n, a), dot(n, side));
                // turbulence fades toward the pole, where longitude bunches up
                const float swirl = 1 - lat * lat;
                const float warp = fbm(lon * 1.8f, lat * 6, 4, 53);
                const float t = lat * 1.15f + swirl * (0.09f * fbm(lon * 2.4f + 2 * warp, lat * 9, 5, 51) +
                                                       0.025f * fbm(lon * 9, lat * 50 + 3 * warp, 3, 52));
                Rgb albedo = bandColour(t * 1.6f) * (0.9f + 0.2f * fbm(lon * 3, lat * 70, 3, 54));
                const float ndl = dot(n, light);
                const float lit = std::pow(clamp01(ndl * 1.05f + 0.06f), 0.85f);
                planet = albedo * (0.015f + 1.0f * lit) * (0.6f + 0.4f * std::sqrt(n.z));
                // ring shadow across the bands
                const float tl = -dot(V3{dx, dy, zs}, pole) / dot(light, pole);
                if (tl > 0) {
                    const V3 hit = V3{dx, dy, zs} + light * tl;
                    planet = planet * (1 - 0.7f * ringDensity(std::sqrt(dot(hit, hit)) / R));
                }
                // blue haze near the limb
                const float haze = std::pow(1 - n.z, 2.2f) * smoothstep(-0.25f, 0.6f, ndl);
                planet += hex(0x6AA8FF) * (0.5f * haze);
                planet += hex(0x0A1030) * 0.4f;
            }

            if (cover > 0) {
                Rgb front = planet;
                if (ring > 0 && zr > zs) front = mix(front, ringCol, ring);
                Rgb behind = p;
                if (ring > 0) behind = mix(behind, ringCol, ring);
                p = mix(behind, front, cover);
            } else if (ring > 0) {
                p = mix(p, ringCol, ring);
            }
        }
    }
}

}  // namespace bg

inline Image drawBackground() {
    using namespace bg;
    Canvas cv;
    const V3 light = normalize({-0.78f, -0.42f, 0.42f});
    paintSky(cv);
    paintStars(cv);
    paintMoon(cv, light);
    paintPlanet(cv, light);

    Image img(W, H);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const float u = (x + 0.5f) / W - 0.5f, v = (y + 0.5f) / H - 0.5f;
            const float vignette = 1 - 0.45f * std::pow(std::min(1.f, (u * u + v * v) * 2.f), 1.5f);
            const float dither = (float(hash2(x, y, 77) & 0xFF) / 255.f - 0.5f) / 255.f;
            Rgb c = cv.at(x, y) * vignette + Rgb{dither, dither, dither};
            uint32_t p = pack(c);
            if (p == kKey) p = 0xFF01FF;  // never the transparency key
            img.set(x, y, p);
        }
    }
    return img;
}

// ---------------------------------------------------------------- output

struct Picture {
    const char* file;
    Image (*draw)();
};

inline const std::array<Picture, 5>& pictures() {
    static const std::array<Picture, 5> list = {{
        {"Background.bmp", drawBackground},
        {"Player.bmp", drawPlayer},
        {"ene.bmp", drawAlien},
        {"reload.bmp", drawReload},
        {"Crit.bmp", drawCrit},
    }};
    return list;
}

inline void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot open " + path.string() + " for writing");
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("failed writing " + path.string());
}

// Draws every picture into outDir/imgs/. Throws on any I/O problem.
inline void writeAll(const fs::path& outDir) {
    const fs::path dir = outDir / "imgs";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        throw std::runtime_error("cannot create " + dir.string() + (ec ? ": " + ec.message() : ""));
    }
    for (const Picture& p : pictures()) writeBytes(dir / p.file, encodeBmp(p.draw()));
}

inline int run(int argc, const char* const* argv, std::ostream& err) {
    if (argc != 2 || argv[1][0] == '\0') {
        err << "make_art: usage: make_art OUTDIR\n";
        return 1;
    }
    try {
        writeAll(argv[1]);
    } catch (const std::exception& e) {
        std::string msg = e.what();
        std::replace(msg.begin(), msg.end(), '\n', ' ');
        err << "make_art: " << msg << "\n";
        return 1;
    }
    return 0;
}

}  // namespace make_art

#ifndef MAKE_ART_NO_MAIN
int main(int argc, char** argv) { return make_art::run(argc, argv, std::cerr); }
#endif
