// Pseudo-random numbers.
//
// One process-wide state serves all generators: the selected generator, the
// last number returned, a 32-bit word shared by the two linear congruential
// generators and the Mersenne Twister's table.  Switching generators keeps
// the other parts as they are, which is why LCG24 seeding preserves the low
// byte of the shared word.
//
// Seeds are doubles.  Converting a double outside the integer range (or a
// NaN) to an integer is undefined in C++, so every conversion goes through
// TruncateToInt64, which saturates and maps NaN to 0; finite seeds inside
// the 64-bit range convert exactly as a plain cast would.
#include "random.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "clock.h"

namespace fb {

namespace {

// The bits of a value as an unsigned integer of its size (memcpy: the web
// build's library has no std::bit_cast).
template <typename Bits, typename Value>
Bits BitsOf(Value value) {
  static_assert(sizeof(Bits) == sizeof(Value));
  Bits bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

constexpr int MT_WORDS = 624;
constexpr int MT_MIDDLE = 397;
constexpr uint32_t MT_MATRIX = 0x9908B0DFu;
constexpr uint32_t MT_UPPER_MASK = 0x80000000u;
constexpr uint32_t MT_LOWER_MASK = 0x7FFFFFFFu;

constexpr uint32_t LCG32_MULTIPLIER = 1664525u;
constexpr uint32_t LCG32_INCREMENT = 1013904223u;
constexpr uint32_t LCG24_MULTIPLIER = 16598013u;
constexpr uint32_t LCG24_INCREMENT = 12820163u;
constexpr uint32_t LCG24_MASK = 0xFFFFFFu;

constexpr double TWO_POW_32 = 4294967296.0;
constexpr double TWO_POW_24 = 16777216.0;

struct RandomState {
  bool seeded = false;  // Random before any SeedRandom seeds as (0, 0) first
  int32_t generator = RANDOM_MT;
  double last = 0.0;
  uint32_t lcgState = 0x50000;
  uint32_t mt[MT_WORDS] = {};
  int mtIndex = MT_WORDS;  // MT_WORDS: the next draw regenerates the table
};

RandomState g_random;

// Truncates toward zero.  NaN gives 0; values beyond the 64-bit range
// saturate, since the cast itself would be undefined there.
int64_t TruncateToInt64(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exactly representable; every double below it truncates into
  // range, and -2^63 itself is in range.
  constexpr double LIMIT = 9223372036854775808.0;
  if (value >= LIMIT) return INT64_MAX;
  if (value < -LIMIT) return INT64_MIN;
  return static_cast<int64_t>(value);
}

uint32_t LowWord(double seed) { return static_cast<uint32_t>(static_cast<uint64_t>(TruncateToInt64(seed))); }

void MtRegenerate(RandomState& s) {
  for (int i = 0; i < MT_WORDS; ++i) {
    const uint32_t y = (s.mt[i] & MT_UPPER_MASK) | (s.mt[(i + 1) % MT_WORDS] & MT_LOWER_MASK);
    const uint32_t mag = (y & 1u) ? MT_MATRIX : 0u;
    s.mt[i] = s.mt[(i + MT_MIDDLE) % MT_WORDS] ^ (y >> 1) ^ mag;
  }
  s.mtIndex = 0;
}

// Fills the table from the seed with the 32-bit LCG rather than the usual
// MT19937 initialisation: the sequence for a given seed depends on this.
void MtSeed(RandomState& s, double seed) {
  s.mt[0] = LowWord(seed);
  for (int i = 1; i < MT_WORDS; ++i) s.mt[i] = s.mt[i - 1] * LCG32_MULTIPLIER + LCG32_INCREMENT;
  s.mtIndex = MT_WORDS;
}

double MtDraw(RandomState& s) {
  if (s.mtIndex >= MT_WORDS) MtRegenerate(s);
  uint32_t y = s.mt[s.mtIndex];
  s.mtIndex = s.mtIndex + 1;
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y / TWO_POW_32;
}

void Lcg24Advance(RandomState& s) {
  s.lcgState = (s.lcgState * LCG24_MULTIPLIER + LCG24_INCREMENT) & LCG24_MASK;
}

// The C runtime's rand may reach 2^31 - 1 (it does on glibc), so dividing
// it by 32768 would leave [0, 1).  Only its low 15 bits are used, the range
// every C runtime guarantees.
double CrtDraw() { return (std::rand() & 0x7FFF) / 32768.0; }

}  // namespace

void SeedRandom(double seed, int32_t algorithm) {
  RandomState& s = g_random;
  if (seed == -1.0) {
    const uint64_t bits = BitsOf<uint64_t>(TimerSeconds());
    seed = static_cast<double>(static_cast<uint32_t>(bits) ^ static_cast<uint32_t>(bits >> 32));
  }
  switch (algorithm) {
    case RANDOM_LCG32:
      s.lcgState = LowWord(seed);
      break;
    case RANDOM_LCG24: {
      const uint32_t high = static_cast<uint32_t>(BitsOf<uint64_t>(seed) >> 32);
      s.lcgState = (s.lcgState & 0xFFu) | (((high ^ (high >> 16)) & 0xFFFFu) << 8);
      break;
    }
    case RANDOM_CRT:
      // Truncated through 64 bits and then to the low 32, so that seeds
      // from 2^31 up (clock-derived ones among them) stay distinct instead
      // of meeting at the edge of the int range.  The first rand after
      // seeding is thrown away.
      std::srand(LowWord(seed));
      std::rand();
      break;
    default:
      // RANDOM_DEFAULT, RANDOM_MT and every unknown number.
      algorithm = RANDOM_MT;
      MtSeed(s, seed);
      break;
  }
  s.generator = algorithm;
  s.seeded = true;
}

double Random(float x) {
  RandomState& s = g_random;
  if (!s.seeded) SeedRandom(0.0, RANDOM_DEFAULT);
  switch (s.generator) {
    case RANDOM_LCG32:
      if (x != 0.0f) s.lcgState = s.lcgState * LCG32_MULTIPLIER + LCG32_INCREMENT;
      s.last = s.lcgState / TWO_POW_32;
      break;
    case RANDOM_LCG24:
      if (x < 0.0f) {
        // A negative x restarts a repeatable sequence from its own bits.
        const uint32_t b = BitsOf<uint32_t>(x);
        s.lcgState = (b >> 24) + (b & 0xFFFFFFu);
      }
      if (x != 0.0f) Lcg24Advance(s);
      s.last = (s.lcgState & LCG24_MASK) / TWO_POW_24;
      break;
    case RANDOM_CRT:
      if (x != 0.0f) s.last = CrtDraw();
      break;
    default:
      if (x != 0.0f) s.last = MtDraw(s);
      break;
  }
  return s.last;
}

}  // namespace fb
