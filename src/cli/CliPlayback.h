#pragma once
// Playing one input to its end on the sound device with the window's
// settings, for the commands that play (--play, --run).

#include <atomic>
#include <cstdio>

#include "audio/core/GuiHandoff.h"
#include "audio/output/TDXAudioOut.h"
#include "cli/TInterruptWatch.h"
#include "show/PlaybackSettings.h"

// Plays `input` and returns when it has played out (0), failed in the worker
// (1, the worker's message on stderr) or was interrupted by Ctrl+C (130,
// stopped first). The output is gone on return, so the caller may free the
// input. Throws what starting the output throws.
inline int PlayOnDevice(TAuInput& input, const TInterruptWatch& watch) {
  TComponentPtr<TDXAudioOut> out(new TDXAudioOut());
  PlaybackSettings::SetUpOutput(*out);
  std::atomic<bool> done{false};
  out->OnDone = [&](TComponent*) { done.store(true); };
  out->OnThreadException = [&](TComponent*) { std::fprintf(stderr, "vomrella: %s\n", out->ExceptionMessage().c_str()); };
  out->SetInput(&input);
  out->Run();
  GuiHandoff::Instance().PumpUntil([&] { return done.load() || watch.Interrupted.load(); });
  int status = 0;
  if (!done.load()) {
    out->Stop(false);
    status = 130;
  } else if (!out->ExceptionMessage().empty()) {
    status = 1;
  }
  out->SetInput(nullptr);
  return status;
}
