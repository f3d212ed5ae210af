#pragma once
// Playing one input to its end on the sound device with the window's
// settings, for the commands that play (--play, --run).

#include <atomic>
#include <cstdio>
#include <string_view>

#include "audio/core/GuiHandoff.h"
#include "audio/output/TDXAudioOut.h"
#include "cli/TInterruptWatch.h"
#include "show/PlaybackSettings.h"

// The sound output `device` chooses (PlaybackSettings), set up as the
// window's; null after saying on stderr why a choice that fits no device,
// or several, is refused (the command then exits 2, before any other work).
inline TComponentPtr<TDXAudioOut> ChosenOutput(std::string_view device) {
  TComponentPtr<TDXAudioOut> out(new TDXAudioOut());
  if (const TDeviceChoice choice = PlaybackSettings::SetUpOutput(*out, device); !choice.Found()) {
    std::fprintf(stderr, "vomrella: %s\nA hangkimenetek listája: vomrella --devices\n", choice.Message.c_str());
    return nullptr;
  }
  return out;
}

// Plays `input` on `out` (from ChosenOutput) and returns when it has played
// out (0), failed in the worker (1, the worker's message on stderr: no
// device, a lost stream) or was interrupted by Ctrl+C (130, stopped first).
// When the chosen device cannot be opened and the default output plays
// instead, stderr says so. The output is released on return, so the caller
// may free the input. Throws what starting the output throws.
inline int PlayOnDevice(TComponentPtr<TDXAudioOut> out, TAuInput& input, const TInterruptWatch& watch) {
  std::atomic<bool> done{false};
  out->OnDone = [&](TComponent*) { done.store(true); };
  out->OnThreadException = [&](TComponent*) { std::fprintf(stderr, "vomrella: %s\n", out->ExceptionMessage().c_str()); };
  out->OnDeviceNote = [&](TComponent*) { std::fprintf(stderr, "vomrella: %s\n", out->DeviceNote().c_str()); };
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
