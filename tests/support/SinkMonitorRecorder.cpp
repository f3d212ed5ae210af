#include "support/SinkMonitorRecorder.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <vector>

#include "support/PulseNullSink.h"

TSinkMonitorRecorder::TSinkMonitorRecorder(const TPulseNullSink& Sink, int SinkIndex, TFragmentHandler Handler,
                                           uint32_t FragmentFrames)
    : Handler(std::move(Handler)) {
  const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
  pa_buffer_attr attr{};
  attr.maxlength = uint32_t(-1);
  attr.tlength = uint32_t(-1);
  attr.prebuf = uint32_t(-1);
  attr.minreq = uint32_t(-1);
  // Small fragments ask the monitor, and so the sink, for a short latency.
  attr.fragsize = FragmentFrames * 4;
  int error = 0;
  pa_simple* stream = pa_simple_new(Sink.ServerAddress().c_str(), "vomrella-bench", PA_STREAM_RECORD,
                                    TPulseNullSink::MonitorName(SinkIndex).c_str(), "monitor", &spec, nullptr, &attr,
                                    &error);
  if (!stream) {
    FError = std::string("cannot record ") + TPulseNullSink::MonitorName(SinkIndex) + ": " + pa_strerror(error);
    return;
  }
  Thread = std::thread([this, stream, FragmentFrames] { Record(stream, FragmentFrames); });
}

TSinkMonitorRecorder::~TSinkMonitorRecorder() {
  Stopping.store(true);
  // The sink is kept awake, so the read under way returns within a fragment.
  if (Thread.joinable()) Thread.join();
}

void TSinkMonitorRecorder::Record(pa_simple* Stream, uint32_t FragmentFrames) {
  std::vector<int16_t> samples(size_t(FragmentFrames) * 2);
  int64_t frame = 0;
  int error = 0;
  while (!Stopping.load()) {
    if (pa_simple_read(Stream, samples.data(), samples.size() * 2, &error) < 0) break;
    const TClock::time_point arrived = TClock::now();
    Handler(samples.data(), FragmentFrames, frame, arrived);
    frame += FragmentFrames;
    FFrames.store(frame);
  }
  pa_simple_free(Stream);
}
