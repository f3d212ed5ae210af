#pragma once
// Remote control over D-Bus: the program as an MPRIS 2 media player
// ("org.mpris.MediaPlayer2.vomrella", or ".instance<pid>" when another
// program holds that name), so media keys, desktop shortcuts, playerctl and
// phone remotes drive a show. Methods run the hotkeys' actions of the
// target (the window, through TRemoteTarget):
//   Play              the play hotkey (stop, play the live composition, advance)
//   Pause, PlayPause  the pause hotkey (pause or resume)
//   Next, Previous    the live page's buttons
//   Stop              the stop button
//   Raise             shows the window
//   Quit              refused: a remote must not end a show
// A remote action arrives like a key press and follows the hotkeys' rule
// (TPressGuard): the same action again within kHeldWindow of the previous
// call is a held key or a double press and is ignored.
// An action that shows an error box in the window answers the call with a
// D-Bus error carrying the box's text, before the box waits for the operator.
//
// Properties follow the target's snapshot: the window calls Refresh when a
// run starts, pauses or ends and when the live page changes, and Refresh
// sends PropertiesChanged for what differs from the last values sent.
// Position is the elapsed time of the test run on air (what the device has
// played of it), in microseconds; 0 when none plays. MPRIS sends no signal
// for it: clients ask.
//
// Threads: GUI thread only; D-Bus calls are delivered there.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <cstdint>
#include <functional>

#include "services/hotkeys/TPressGuard.h"
#include "services/remote/TRemoteTarget.h"

class TMprisService : public QObject {
  Q_OBJECT

 public:
  using TClock = TPressGuard::TClock;

  static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.vomrella";
  static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
  static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
  static constexpr const char* kErrorName = "org.mpris.MediaPlayer2.vomrella.Error.Failed";
  static constexpr std::chrono::milliseconds kHeldWindow = TPressGuard::kWindow;

  // Registers the player object and a bus name on `bus`; check Registered().
  // `target` must outlive the service.
  TMprisService(TRemoteTarget& target, QDBusConnection bus);
  ~TMprisService() override;
  TMprisService(const TMprisService&) = delete;
  TMprisService& operator=(const TMprisService&) = delete;

  // False, with the reason in Problem(), when the object or no name could be
  // registered.
  bool Registered() const { return !FServiceName.isEmpty(); }
  QString Problem() const { return FProblem; }
  // The bus name taken.
  QString ServiceName() const { return FServiceName; }
  // Replaces the clock the held-key rule reads (tests).
  void SetClock(TClock clock) { Guard.SetClock(std::move(clock)); }

  // The target's state may have changed: PropertiesChanged for what did.
  void Refresh();
  // A test run has just started with this composition: Metadata shows it
  // while the run plays, whatever the live page shows meanwhile.
  void RunStarted(int index, const QString& name, double seconds);
  // The target shows an error box: the call being served fails with it.
  void ErrorShown(const QString& text);

  // What the adaptors serve. Perform answers `call` itself.
  void Perform(TRemoteAction action, const QDBusMessage& call);
  void Refuse(const QDBusMessage& call, const QString& text);
  QString PlaybackStatus() const;
  QVariantMap Metadata() const;
  bool HasCompositions() const;
  qlonglong Position() const;

 private:
  // The values change signals are sent for.
  struct TState {
    QString Status;
    QString TrackId;
    QString Title;
    qlonglong LengthUs = -1;  // -1: no length
    QString Next;
    QString After;
    bool Can = false;
    bool operator==(const TState&) const = default;
  };
  struct TPendingCall {
    QDBusMessage Message;
    bool Answered = false;
  };
  TState Current() const;
  bool RunPlaying(const TRemoteSnapshot& shown) const;
  bool Held(TRemoteAction action);
  void Answer(TPendingCall& call, const QString* error);

  TRemoteTarget& FTarget;
  QDBusConnection Bus;
  QString FServiceName;
  QString FProblem;
  bool ObjectRegistered = false;
  TPressGuard Guard;
  TPendingCall* Pending = nullptr;  // the call being served, innermost first
  TState Sent;
  // The composition of the run that plays.
  int RunIndex = -1;
  QString RunTitle;
  qlonglong RunLengthUs = 0;
};
