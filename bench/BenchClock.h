#pragma once
// Timing helpers shared by the benchmark programs: a steady clock, elapsed
// seconds, the best of several rounds and the median of a set of samples.

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration Elapsed) { return std::chrono::duration<double>(Elapsed).count(); }
inline double SecondsSince(Clock::time_point Start) { return Seconds(Clock::now() - Start); }

// The shortest of Rounds runs of Step, in seconds (the least disturbed one).
template <typename F>
double BestSeconds(int Rounds, F&& Step) {
  double best = 1e300;
  for (int i = 0; i < Rounds; ++i) {
    const auto start = Clock::now();
    Step();
    best = std::min(best, SecondsSince(start));
  }
  return best;
}

// The middle sample (the upper of the two middle ones for an even count);
// 0 for none.
inline double Median(std::vector<double> Samples) {
  if (Samples.empty()) return 0;
  const auto middle = Samples.begin() + static_cast<std::ptrdiff_t>(Samples.size() / 2);
  std::nth_element(Samples.begin(), middle, Samples.end());
  return *middle;
}

}  // namespace bench
