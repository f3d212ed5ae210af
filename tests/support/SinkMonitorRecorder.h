#pragma once
// Records what a sink of TPulseNullSink plays, from its monitor: 16-bit
// stereo at 44.1 kHz (the sinks' own format, so the samples are the ones the
// sink mixed, unchanged when one stream plays at full volume), in small
// fragments on a thread of its own. Each fragment is handed to a callback
// with the steady-clock time it arrived, so the time a frame reached the sink
// is known to within about one block of the sink (a few ms).
//
// Threads: create and destroy on one thread; the callback runs on the
// recorder's thread and must not block.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class TPulseNullSink;

class TSinkMonitorRecorder {
 public:
  using TClock = std::chrono::steady_clock;
  // Samples: Frames interleaved stereo frames; FirstFrame: their number
  // from the start of the recording; Arrived: when the fragment came.
  using TFragmentHandler =
      std::function<void(const int16_t* Samples, size_t Frames, int64_t FirstFrame, TClock::time_point Arrived)>;
  static constexpr uint32_t kRate = 44100;

  // Connects and starts recording sink N's monitor; Error() says why not.
  TSinkMonitorRecorder(const TPulseNullSink& Sink, int SinkIndex, TFragmentHandler Handler,
                       uint32_t FragmentFrames = 64);
  ~TSinkMonitorRecorder();
  TSinkMonitorRecorder(const TSinkMonitorRecorder&) = delete;
  TSinkMonitorRecorder& operator=(const TSinkMonitorRecorder&) = delete;

  bool Ready() const { return FError.empty(); }
  const std::string& Error() const { return FError; }
  // Any thread: frames recorded so far.
  int64_t Frames() const { return FFrames.load(); }

  // The time a frame reached the sink, from the arrival of its fragment.
  static TClock::time_point FrameTime(TClock::time_point Arrived, size_t FragmentFrames, size_t FrameInFragment) {
    return Arrived - std::chrono::nanoseconds(int64_t(FragmentFrames - FrameInFragment) * 1'000'000'000 / kRate);
  }

 private:
  void Record(struct pa_simple* Stream, uint32_t FragmentFrames);

  std::string FError;
  TFragmentHandler Handler;
  std::atomic<bool> Stopping{false};
  std::atomic<int64_t> FFrames{0};
  std::thread Thread;
};
