// Pseudo-random numbers: five generators sharing one process-wide state.
// Program's thread only (the state is not synchronised).
#pragma once
#include <cstdint>

namespace fb {

constexpr int32_t RANDOM_DEFAULT = 0;  // the Mersenne Twister
constexpr int32_t RANDOM_CRT = 1;      // the C runtime's rand
constexpr int32_t RANDOM_LCG32 = 2;
constexpr int32_t RANDOM_MT = 3;
constexpr int32_t RANDOM_LCG24 = 4;

// A number in [0, 1).  x = 0 repeats the last number (or, for the linear
// congruential generators, reports the state without advancing); other
// values draw.  With RANDOM_LCG24 a negative x first reseeds from its bits.
double Random(float x);

// Selects a generator and seeds it.  A seed of exactly -1.0 is replaced by
// a value derived from the clock.  Unknown algorithms select RANDOM_MT.
void SeedRandom(double seed, int32_t algorithm);

}  // namespace fb
