#include "show/TRunProgress.h"

#include <algorithm>
#include <cmath>

void TRunProgress::Start(double totalSeconds) {
  TotalSeconds = std::isfinite(totalSeconds) ? std::max(0.0, totalSeconds) : 0.0;
  ElapsedSeconds = 0;
}

double TRunProgress::ElapsedFor(double playedSeconds) const {
  if (!std::isfinite(playedSeconds)) playedSeconds = 0;
  // The silence that ends a pass plays beyond the composition's length.
  return std::clamp(std::max(playedSeconds, ElapsedSeconds), 0.0, TotalSeconds);
}

void TRunProgress::Update(double playedSeconds) { ElapsedSeconds = ElapsedFor(playedSeconds); }

int32_t TRunProgress::Percent() const {
  if (TotalSeconds <= 0) return 100;
  return int32_t(std::clamp(std::floor(ElapsedSeconds * 100 / TotalSeconds), 0.0, 100.0));
}

QString TRunProgress::MinSec(int64_t seconds) {
  seconds = std::max<int64_t>(0, seconds);
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// A hair of tolerance, so that 2.9999999 played of a 3 s clip reads 0:03 / 0:00.
QString TRunProgress::ElapsedText() const { return MinSec(int64_t(std::floor(ElapsedSeconds + 1e-6))); }

QString TRunProgress::RemainingText() const { return MinSec(int64_t(std::ceil(Remaining() - 1e-6))); }
