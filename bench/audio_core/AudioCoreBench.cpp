// Audio core figures:
//  1. bytes per second through a TInputList of 100 TMemoryIn items into an
//     output that copies every block into memory, against memcpy of the same
//     bytes in the same block size on the main thread, and against the same
//     output's worker copying them without the list (what the list costs);
//  2. how long Stop(false) takes to return while an 800 ms polling output is
//     in the middle of its sleep.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "ReportRow.h"
#include "audio/core/GuiHandoff.h"
#include "audio/core/TAuOutput.h"
#include "audio/core/TInputList.h"
#include "audio/core/TMemoryIn.h"

namespace {

using bench::BestSeconds;
using bench::Clock;

// Copies every pulled block into a large destination (what a device buffer
// write amounts to) and paces itself like a polling output when asked.
class TBenchOut : public TAuOutput {
 public:
  TBenchOut() = default;
  ~TBenchOut() override { ShutdownWorker(); }

  std::vector<uint8_t> Destination;
  size_t Written = 0;
  // Set: the output copies these bytes over and over instead of pulling its
  // input (the same worker, blocks and destination, without the list).
  const uint8_t* Straight = nullptr;
  size_t StraightBytes = 0;
  uint32_t BlockBytes = 65536;
  std::chrono::milliseconds Poll{0};
  std::atomic<bool> Sleeping{false};

 protected:
  void Prepare() override {
    Input()->Init();
    Written = 0;
  }
  bool DoOutput(bool Abort) override {
    if (Abort) return false;
    if (Poll.count() > 0) {
      Sleeping = true;
      WaitInterruptible(Poll);
      Sleeping = false;
      return true;
    }
    const uint32_t room = static_cast<uint32_t>(std::min<size_t>(BlockBytes, Destination.size() - Written));
    if (Straight) {
      const size_t at = Written % StraightBytes;
      const size_t n = std::min<size_t>(room, StraightBytes - at);
      std::memcpy(Destination.data() + Written, Straight + at, n);
      Written += n;
      return Written < Destination.size();
    }
    bool ended = false;
    Written += ReadFull(*Input(), Destination.data() + Written, room, ended);
    return !ended && Written < Destination.size();
  }
  void Done() override { Input()->Flush(); }
};

void Throughput(uint32_t BlockBytes) {
  constexpr int Items = 100;
  constexpr size_t ItemBytes = 1 << 20;  // 1 MiB each: about 6 s of CD audio
  std::vector<uint8_t> source(ItemBytes);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7);
  std::vector<std::unique_ptr<TMemoryIn>> inputs;
  TInputList list;
  for (int i = 0; i < Items; ++i) {
    inputs.push_back(std::make_unique<TMemoryIn>());
    list.InputItems().Add(inputs.back().get());
  }
  auto refill = [&] {
    for (auto& in : inputs) {
      in->DataBuffer = source.data();
      in->DataSize = ItemBytes;
      in->InBitsPerSample = 16;
      in->InChannels = 2;
      in->InSampleRate = 44100;
    }
  };
  const size_t total = Items * ItemBytes;

  TBenchOut out;
  out.BlockBytes = BlockBytes;
  out.Destination.resize(total);
  std::memset(out.Destination.data(), 0, total);  // fault the pages in once
  out.SetInput(&list);
  bool done = false;
  out.OnDone = [&](TComponent*) { done = true; };

  constexpr int Rounds = 5;
  const double best = BestSeconds(Rounds, [&] {
    refill();  // a few hundred stores, nothing beside the pass
    done = false;
    out.Run();
    GuiHandoff::Instance().PumpUntil([&] { return done; });
    if (out.Written != total) std::printf("  warning: %zu of %zu bytes arrived\n", out.Written, total);
  });

  // The same bytes copied with memcpy in the same block size.
  const double bestCopy = BestSeconds(Rounds, [&] {
    size_t at = 0;
    for (int i = 0; i < Items; ++i)
      for (size_t off = 0; off < ItemBytes; off += out.BlockBytes) {
        const size_t n = std::min<size_t>(out.BlockBytes, ItemBytes - off);
        std::memcpy(out.Destination.data() + at, source.data() + off, n);
        at += n;
      }
  });

  // The same output's worker copying the same blocks without the list: what
  // the list itself costs, with the thread and its caches as they are.
  out.Straight = source.data();
  out.StraightBytes = ItemBytes;
  const double bestStraight = BestSeconds(Rounds, [&] {
    done = false;
    out.Run();
    GuiHandoff::Instance().PumpUntil([&] { return done; });
  });
  out.Straight = nullptr;

  const double mib = static_cast<double>(total) / (1024.0 * 1024.0);
  std::printf("Input list of %d memory inputs -> copying output (%zu MiB, %u-byte blocks, best of %d)\n", Items,
              total >> 20, out.BlockBytes, Rounds);
  std::printf("  pipeline (Run .. OnDone): %8.1f MiB/s  (%.2f ms)\n", mib / best, best * 1000);
  std::printf("  memcpy of the same bytes: %8.1f MiB/s  (%.2f ms)\n", mib / bestCopy, bestCopy * 1000);
  std::printf("  the output without the list: %8.1f MiB/s  (%.2f ms)\n", mib / bestStraight, bestStraight * 1000);
  std::printf("  ratio pipeline / memcpy:  %8.3f\n", bestCopy / best);
  std::printf("  ratio pipeline / the output without the list:  %8.3f\n", bestStraight / best);
  const std::string figure = "Input list, " + std::to_string(out.BlockBytes) + "-byte blocks";
  bench::ReportRow(figure, mib / best, "MiB/s", "memcpy of the same bytes (ours/memcpy)", mib / bestCopy, "MiB/s",
                   bestCopy / best);
  bench::ReportRow(figure, mib / best, "MiB/s", "the same output copying without the list (ours/theirs)",
                   mib / bestStraight, "MiB/s", bestStraight / best);
}

void StopLatency() {
  constexpr int Rounds = 20;
  std::vector<uint8_t> data(4096, 0);
  TMemoryIn in;
  TBenchOut out;
  out.Poll = std::chrono::milliseconds(800);
  out.SetInput(&in);
  std::vector<double> times;
  for (int r = 0; r < Rounds; ++r) {
    in.DataBuffer = data.data();
    in.DataSize = static_cast<int64_t>(data.size());
    in.InBitsPerSample = 16;
    in.InChannels = 2;
    in.InSampleRate = 44100;
    in.RepeatCount = -1;
    out.Run();
    while (!out.Sleeping) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // well inside the 800 ms sleep
    const auto start = Clock::now();
    out.Stop(false);
    times.push_back(bench::SecondsSince(start) * 1000.0);
  }
  const double median = bench::Median(times);
  std::printf("Stop(false) while an 800 ms polling output sleeps (%d rounds)\n", Rounds);
  std::printf("  min %.3f ms  median %.3f ms  max %.3f ms  (target < 20 ms)\n",
              *std::min_element(times.begin(), times.end()), median, *std::max_element(times.begin(), times.end()));
  std::printf("  ratio median / polling interval: %.5f\n", median / 800.0);
  bench::ReportRow("Stop(false), output asleep (median)", median, "ms", "polling interval", 800, "ms", median / 800.0);
}

}  // namespace

int main() {
  Throughput(65536);
  Throughput(4096);
  StopLatency();
  return 0;
}
