#pragma once
// What a remote control drives: the actions it may run and a snapshot of
// what the program shows. The main window implements it; the MPRIS service
// (TMprisService) knows nothing else of the window.
//
// Threads: GUI thread only.

#include <QString>
#include <cstdint>

enum class TRemoteAction { Play, Pause, Next, Previous, Stop, Raise };

// What the window shows and plays, as the remote reports it.
struct TRemoteSnapshot {
  enum TStatus { Stopped, Playing, Paused };
  TStatus Status = Stopped;        // the sound output's status
  bool TestRunInOutput = false;    // the output is busy with the test run (not a clip preview)
  double ElapsedSeconds = 0;       // of the test run: what the device has played of it
  bool HasCompositions = false;
  QString Next;                    // the live page's "Következő:" field
  QString After;                   // its "Utána:" field
  // The composition the play action would start: its position and length
  // in seconds; LiveIndex is -1 when there is none.
  int32_t LiveIndex = -1;
  double LiveSeconds = 0;
};

class TRemoteTarget {
 public:
  virtual ~TRemoteTarget() = default;

  // Runs `action` as the hotkeys (and, for Stop, the stop button) run it.
  // False when it ended with an error box (only Play can). May throw; the
  // caller reports what it catches through ReportRemoteException.
  [[nodiscard]] virtual bool RunRemoteAction(TRemoteAction action) = 0;
  virtual TRemoteSnapshot RemoteSnapshot() const = 0;
  // An action threw: shown as the program shows any exception no handler
  // took.
  virtual void ReportRemoteException(const QString& message) = 0;
};
