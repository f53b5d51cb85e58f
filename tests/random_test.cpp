// Random and SeedRandom: exact sequences where the numbers are defined, the
// [0, 1) guarantee where they come from the C runtime.
#include <fb/clock/random.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include <fb/clock/clock.h>

namespace {

constexpr double TWO_POW_32 = 4294967296.0;
constexpr double TWO_POW_24 = 16777216.0;

// An independent MT19937: the table is filled the way the library fills it
// (word 0 from the seed, then the 32-bit LCG), the generation step is the
// textbook three-loop form, and draws are tempered words / 2^32.
struct ReferenceMt {
  static constexpr int N = 624, M = 397;
  uint32_t mt[N];
  int index = N;

  explicit ReferenceMt(uint32_t word0) {
    mt[0] = word0;
    for (int i = 1; i < N; ++i) mt[i] = mt[i - 1] * 1664525u + 1013904223u;
  }
  static uint32_t Twist(uint32_t upper, uint32_t lower, uint32_t far) {
    const uint32_t y = (upper & 0x80000000u) | (lower & 0x7FFFFFFFu);
    return far ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
  }
  void Generate() {
    int k = 0;
    for (; k < N - M; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + M]);
    for (; k < N - 1; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + M - N]);
    mt[N - 1] = Twist(mt[N - 1], mt[0], mt[M - 1]);
    index = 0;
  }
  uint32_t NextWord() {
    if (index >= N) Generate();
    uint32_t y = mt[index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
  }
  double Next() { return NextWord() / TWO_POW_32; }
};

// 2000 draws cross three regenerations of the 624-word table.
constexpr int LONG_RUN = 2000;

void ExpectMtSequence(uint32_t word0, const char* what) {
  ReferenceMt ref(word0);
  for (int i = 0; i < LONG_RUN; ++i) {
    const double expected = ref.Next();
    ASSERT_EQ(fb::Random(1.0f), expected) << what << ", draw " << i;
  }
}

TEST(Random, FirstUseSetsUpTheDefaultGeneratorAndRepeatsZero) {
  // Needs a process in which nothing has touched the generator yet; the
  // threadsafe style re-runs this test in a fresh copy of the program.
#if GTEST_HAS_DEATH_TEST
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const double first = fb::Random(0.0f);  // the last number is still 0.0
        ReferenceMt ref(0);                     // as SeedRandom(0, 0)
        const bool ok = first == 0.0 && fb::Random(1.0f) == ref.Next() &&
                        fb::Random(1.0f) == ref.Next();
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
#else
  GTEST_SKIP() << "needs a fresh copy of the program, which this platform cannot start";
#endif
}

TEST(Random, MersenneTwisterMatchesReferenceAcrossRegenerations) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double seed;
    uint32_t word0;
    const char* what;
  };
  const Case cases[] = {
      {0.0, 0u, "zero"},
      {5.0, 5u, "small"},
      {7.9, 7u, "fraction truncated"},
      {7.2, 7u, "fraction truncated (2)"},
      {-3.5, 0xFFFFFFFDu, "negative truncated toward zero"},
      {4294967301.0, 5u, "above 2^32 keeps the low word"},
      {1.0e30, 0xFFFFFFFFu, "beyond 64 bits saturates"},
      {-1.0e30, 0u, "below -2^63 saturates"},
      {inf, 0xFFFFFFFFu, "+inf saturates"},
      {nan, 0u, "NaN counts as 0"},
  };
  for (const Case& c : cases) {
    fb::SeedRandom(c.seed, fb::RANDOM_MT);
    ExpectMtSequence(c.word0, c.what);
  }
}

TEST(Random, DefaultAndUnknownAlgorithmsAreTheMersenneTwister) {
  for (int32_t algorithm : {fb::RANDOM_DEFAULT, 5, 99, -7}) {
    fb::SeedRandom(1234.0, algorithm);
    ExpectMtSequence(1234u, "algorithm");
  }
}

TEST(Random, MersenneTwisterAgreesWithStandardEngine) {
  // Load the same 624 words into the standard engine.  The trailing index
  // 624 ("regenerate before the next draw") is read by implementations that
  // keep it in the text form and ignored by those that do not.
  const uint32_t word0 = 987654321u;
  ReferenceMt table(word0);
  std::ostringstream text;
  for (uint32_t w : table.mt) text << w << ' ';
  text << ReferenceMt::N;
  std::istringstream in(text.str());
  std::mt19937 engine;
  in >> engine;
  ASSERT_FALSE(in.fail());

  fb::SeedRandom(word0, fb::RANDOM_MT);
  for (int i = 0; i < LONG_RUN; ++i) ASSERT_EQ(fb::Random(1.0f), engine() / TWO_POW_32) << i;
}

TEST(Random, ZeroRepeatsAndNegativeDrawsForMersenneTwister) {
  fb::SeedRandom(42.0, fb::RANDOM_MT);
  ReferenceMt ref(42);
  const double a = fb::Random(1.0f);
  EXPECT_EQ(a, ref.Next());
  EXPECT_EQ(fb::Random(0.0f), a);
  EXPECT_EQ(fb::Random(0.0f), a);
  EXPECT_EQ(fb::Random(-1.0f), ref.Next());  // negative x simply draws
}

TEST(Random, Lcg32) {
  // 5 * 1664525 + 1013904223 = 1022226848 (below 2^32, so no wrap).
  fb::SeedRandom(5.0, fb::RANDOM_LCG32);
  EXPECT_EQ(fb::Random(1.0f), 1022226848.0 / TWO_POW_32);
  EXPECT_EQ(fb::Random(0.0f), 1022226848.0 / TWO_POW_32);
  // Negative x advances like any other non-zero x.
  fb::SeedRandom(5.0, fb::RANDOM_LCG32);
  EXPECT_EQ(fb::Random(-3.0f), 1022226848.0 / TWO_POW_32);

  // The largest state stays below 1.
  fb::SeedRandom(4294967295.0, fb::RANDOM_LCG32);
  const double top = fb::Random(0.0f);
  EXPECT_EQ(top, 4294967295.0 / TWO_POW_32);
  EXPECT_LT(top, 1.0);
}

TEST(Random, Lcg24SeedingKeepsTheLowByteOfTheSharedState) {
  // The state is 5 after LCG32 seeding.  1.0 has high word 0x3FF00000:
  // (0x3FF00000 ^ 0x3FF0) & 0xFFFF = 0x3FF0, shifted left 8 = 0x3FF000.
  fb::SeedRandom(5.0, fb::RANDOM_LCG32);
  fb::SeedRandom(1.0, fb::RANDOM_LCG24);
  EXPECT_EQ(fb::Random(0.0f), 0x3FF005 / TWO_POW_24);
}

TEST(Random, Lcg24NegativeXRestartsARepeatableSequence) {
  // -2.5f is 0xC0200000: state = 0xC0 + 0x200000 = 0x2000C0, then
  // (state * 16598013 + 12820163) mod 2^24 gives these (computed by hand).
  const double expected[] = {5676163 / TWO_POW_24, 13210938 / TWO_POW_24, 6047509 / TWO_POW_24};
  for (double seed : {0.0, 77.0}) {
    fb::SeedRandom(seed, fb::RANDOM_LCG24);
    fb::Random(1.0f);  // whatever came before does not matter
    EXPECT_EQ(fb::Random(-2.5f), expected[0]);
    EXPECT_EQ(fb::Random(1.0f), expected[1]);
    EXPECT_EQ(fb::Random(0.0f), expected[1]);
    EXPECT_EQ(fb::Random(1.0f), expected[2]);
  }
}

TEST(Random, Lcg24DrawsAreMultiplesOfTwoToTheMinus24) {
  for (double seed : {0.0, 3.25, -1.0e6, 123456789.0}) {
    fb::SeedRandom(seed, fb::RANDOM_LCG24);
    for (int i = 0; i < 5000; ++i) {
      const double v = fb::Random(i % 7 == 0 ? -static_cast<float>(i + 1) : 1.0f);
      const double scaled = v * TWO_POW_24;
      ASSERT_EQ(scaled, std::floor(scaled)) << seed << " draw " << i;
      ASSERT_GE(v, 0.0);
      ASSERT_LT(v, 1.0);
    }
  }
}

TEST(Random, CrtStaysInUnitIntervalAndRepeatsPerSeed) {
  // The platform's rand may exceed 15 bits; every draw must still be < 1.
  fb::SeedRandom(99.0, fb::RANDOM_CRT);
  std::vector<double> first;
  for (int i = 0; i < 10000; ++i) {
    const double v = fb::Random(1.0f);
    ASSERT_GE(v, 0.0);
    ASSERT_LT(v, 1.0);
    ASSERT_EQ(v * 32768.0, std::floor(v * 32768.0));
    if (i < 20) first.push_back(v);
  }
  fb::SeedRandom(99.0, fb::RANDOM_CRT);
  for (double v : first) EXPECT_EQ(fb::Random(1.0f), v);
  EXPECT_EQ(fb::Random(0.0f), first.back());
}

double FixedNow(void* user) { return *static_cast<double*>(user); }
void NoSleep(void*, int32_t) {}

TEST(Random, MinusOneSeedComesFromTheClock) {
  // 12345.678 is 0x40C81CD6C8B43958; 0x40C81CD6 ^ 0xC8B43958 = 2289837454.
  double now = 12345.678;
  const fb::ClockSource source{FixedNow, NoSleep, &now};
  fb::SetClockSource(&source);

  fb::SeedRandom(-1.0, fb::RANDOM_DEFAULT);
  ExpectMtSequence(2289837454u, "clock-derived seed");

  fb::SeedRandom(-1.0, fb::RANDOM_LCG32);
  EXPECT_EQ(fb::Random(0.0f), 2289837454.0 / TWO_POW_32);

  fb::SetClockSource(nullptr);
}

}  // namespace
