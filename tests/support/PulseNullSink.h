#pragma once
// A real, timed sound device for tests and benchmarks on machines without a
// sound card: a private PulseAudio server with a null sink, and an ALSA
// configuration whose default device writes every byte it is given to a file
// before handing it to that server (which consumes it in real time).
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

  bool Ready() const { return FError.empty(); }
  const std::string& Error() const { return FError; }
  const std::string& Folder() const { return FFolder; }

  // Everything the ALSA default device has been given since it was last
  // opened (the file is rewritten at each open), in the stream's own format.
  std::vector<uint8_t> Captured() const;
  // The server's log, for failure messages.
  std::string ServerLog() const;

 private:
  bool Start();
  void StopServer();

  std::string FError;
  std::unique_ptr<TTempFolder> Temp_;  // the server's home and runtime folder
  std::string FFolder;
  pid_t ServerPid = -1;
  bool HadHome = false;
  std::string OldHome;
};
