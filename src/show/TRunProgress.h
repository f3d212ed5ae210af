#pragma once
// What the operator sees of a run on air: elapsed and remaining time and the
// percentage played, from the seconds the sound device has played (never a
// timer of its own) and the composition's length.
//
// The shown time never goes back within a run: a reading of the output
// between two passes (0) does not reset it. Elapsed time is shown rounded
// down and remaining time rounded up, so the display reaches 0:00 remaining
// only when the run has played out.
//
// Threads: one thread (the GUI thread) per instance.

#include <QString>
#include <cstdint>

class TRunProgress {
 public:
  // A run of `totalSeconds` (CompositionSeconds of its composition) starts.
  void Start(double totalSeconds);
  // The output reports `playedSeconds` of the run.
  void Update(double playedSeconds);
  // The elapsed time Update(playedSeconds) would give, without keeping it.
  double ElapsedFor(double playedSeconds) const;

  double Total() const { return TotalSeconds; }
  double Elapsed() const { return ElapsedSeconds; }
  double Remaining() const { return TotalSeconds - ElapsedSeconds; }
  // 0..100, rounded down; 100 for a run without length.
  int32_t Percent() const;

  // "m:ss" of whole seconds (minutes are not wrapped into hours).
  static QString MinSec(int64_t seconds);
  QString ElapsedText() const;
  QString RemainingText() const;

 private:
  double TotalSeconds = 0;
  double ElapsedSeconds = 0;
};
