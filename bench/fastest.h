// The fastest of a benchmark's repetitions, reported as one more statistic
// ("_min") beside the mean and median: other work on a shared machine only
// ever adds time, so with repetitions it is the figure closest to the
// truth.  tools/speed_table.sh reads it.
#pragma once
#include <algorithm>
#include <vector>

inline double FastestRepetition(const std::vector<double>& times) {
  return *std::min_element(times.begin(), times.end());
}
