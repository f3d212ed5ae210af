#pragma once
// A real, timed sound device for tests and benchmarks on machines without a
// sound card: a private PulseAudio server with two null sinks, and an ALSA
// configuration whose devices write every byte they are given to a file
// before handing it to that server (which consumes it in real time).
//
// Sink 0 ("cap") is the server's default and behind ALSA's default device;
// sink 1 ("second") is behind the ALSA device "vomrella_second". Each also
// has an ALSA device without the file in front (AlsaDevice(n, false)), for
// timings. A stream whose sink goes ends with it (the server rescues no
// streams to another sink), as a pulled-out card ends its streams. Each sink
// is kept awake by a silent stream of its own (kKeepAwakeStream), which the
// stream counts and kills below leave out.
//
// The ALSA configuration is found through HOME, which this object points at
// its own temporary folder for its lifetime. ALSA reads its configuration when
// the sound library initialises, so create this object before the first
// PortAudio system, in a process of its own (no other test should see the
// changed HOME). The server is a child process; it is stopped and the folder
// removed when the object goes, also after a failed set-up.
//
// Threads: one thread creates, uses and destroys it.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TTempFolder;

class TPulseNullSink {
 public:
  // Starts the server and waits (up to about 10 s) for its socket. On any
  // failure Ready() is false and Error() says why, naming the Debian package
  // to install when one is missing.
  TPulseNullSink();
  ~TPulseNullSink();
  TPulseNullSink(const TPulseNullSink&) = delete;
  TPulseNullSink& operator=(const TPulseNullSink&) = delete;

  static constexpr int kSinks = 2;
  static constexpr const char* kKeepAwakeStream = "vomrella-keep-awake";

  bool Ready() const { return FError.empty(); }
  const std::string& Error() const { return FError; }
  const std::string& Folder() const { return FFolder; }

  // The ALSA device (as PortAudio lists it) that plays into sink N, with or
  // without the file in front.
  static std::string AlsaDevice(int Sink, bool Tapped = true);
  // The sink's name on the server, and its monitor source (what it plays).
  static std::string SinkName(int Sink);
  static std::string MonitorName(int Sink) { return SinkName(Sink) + ".monitor"; }
  // Where a PulseAudio client finds the server ("unix:...").
  std::string ServerAddress() const;

  // Everything sink N's tapped ALSA device has been given since it was last
  // opened (the file is rewritten at each open), in the stream's own format.
  std::vector<uint8_t> Captured(int Sink = 0) const;
  // The server's log, for failure messages.
  std::string ServerLog() const;

  // Through the server's client interface; each waits for the server's
  // answer. Streams playing into sink N now; -1 when the server cannot be
  // asked.
  int StreamsOn(int Sink) const;
  // Ends every stream playing into sink N, as a server that kills its
  // clients' streams; returns how many.
  int KillStreams(int Sink) const;
  // Unloads sink N, with its streams; false when it was not there.
  bool UnloadSink(int Sink) const;
  // How far ahead of real time sink N has mixed (what a card would still
  // have to play of it), in microseconds; -1 when the server cannot say.
  int64_t SinkLatencyUs(int Sink) const;

 private:
  bool Start();
  void StopServer();

  std::string FError;
  std::unique_ptr<TTempFolder> Temp_;  // the server's home and runtime folder
  std::string FFolder;
  pid_t ServerPid = -1;
  std::vector<pid_t> KeepAwakePids;
  bool HadHome = false;
  std::string OldHome;
};
