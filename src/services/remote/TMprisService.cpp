#include "services/remote/TMprisService.h"

#include <QDBusAbstractAdaptor>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QStringList>
#include <unistd.h>

#include <cmath>
#include <exception>
#include <utility>

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
constexpr const char* kNotSupported = "org.freedesktop.DBus.Error.NotSupported";

QString TrackPath(int index) { return QStringLiteral("/org/vomrella/composition/%1").arg(index); }

qlonglong Microseconds(double seconds) { return qlonglong(std::llround(seconds * 1e6)); }

// The playback status MPRIS names for the output's status.
QString MprisPlaybackStatus(TRemoteSnapshot::TStatus status) {
  switch (status) {
    case TRemoteSnapshot::Playing: return QStringLiteral("Playing");
    case TRemoteSnapshot::Paused: return QStringLiteral("Paused");
    case TRemoteSnapshot::Stopped: break;
  }
  return QStringLiteral("Stopped");
}

}  // namespace

// org.mpris.MediaPlayer2: the player as a program.
class TMprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  explicit TMprisRootAdaptor(TMprisService* service) : QDBusAbstractAdaptor(service), Service(*service) {}

  bool CanQuit() const { return false; }
  bool CanRaise() const { return true; }
  bool HasTrackList() const { return false; }
  QString Identity() const { return U("Vomrella szimulátor"); }
  // The installed desktop file is vomrella.desktop.
  QString DesktopEntry() const { return QStringLiteral("vomrella"); }
  QStringList SupportedUriSchemes() const { return {}; }
  QStringList SupportedMimeTypes() const { return {}; }

 public slots:
  void Raise(const QDBusMessage& call) { Service.Perform(TRemoteAction::Raise, call); }
  void Quit(const QDBusMessage& call) { Service.Refuse(call, U("A program távolról nem zárható be.")); }

 private:
  TMprisService& Service;
};

// org.mpris.MediaPlayer2.Player: the hotkeys' actions and what plays.
class TMprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(double Rate READ One)
  Q_PROPERTY(double MinimumRate READ One)
  Q_PROPERTY(double MaximumRate READ One)
  Q_PROPERTY(double Volume READ One)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(bool CanGoNext READ Can)
  Q_PROPERTY(bool CanGoPrevious READ Can)
  Q_PROPERTY(bool CanPlay READ Can)
  Q_PROPERTY(bool CanPause READ Can)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)

 public:
  explicit TMprisPlayerAdaptor(TMprisService* service) : QDBusAbstractAdaptor(service), Service(*service) {}

  QString PlaybackStatus() const { return Service.PlaybackStatus(); }
  double One() const { return 1.0; }
  QVariantMap Metadata() const { return Service.Metadata(); }
  qlonglong Position() const { return Service.Position(); }
  bool Can() const { return Service.HasCompositions(); }
  bool CanSeek() const { return false; }
  bool CanControl() const { return true; }

 public slots:
  void Play(const QDBusMessage& call) { Service.Perform(TRemoteAction::Play, call); }
  void Pause(const QDBusMessage& call) { Service.Perform(TRemoteAction::Pause, call); }
  void PlayPause(const QDBusMessage& call) { Service.Perform(TRemoteAction::Pause, call); }
  void Next(const QDBusMessage& call) { Service.Perform(TRemoteAction::Next, call); }
  void Previous(const QDBusMessage& call) { Service.Perform(TRemoteAction::Previous, call); }
  void Stop(const QDBusMessage& call) { Service.Perform(TRemoteAction::Stop, call); }
  // CanSeek is false: seeking is ignored, as MPRIS asks.
  void Seek(qlonglong) {}
  void SetPosition(const QDBusObjectPath&, qlonglong) {}
  void OpenUri(const QString&, const QDBusMessage& call) {
    Service.Refuse(call, U("A program csak a saját összeállításait játssza le."));
  }

 signals:
  void Seeked(qlonglong position);

 private:
  TMprisService& Service;
};

TMprisService::TMprisService(TRemoteTarget& target, QDBusConnection bus) : FTarget(target), Bus(std::move(bus)) {
  new TMprisRootAdaptor(this);
  new TMprisPlayerAdaptor(this);
  if (!Bus.isConnected()) {
    FProblem = Bus.lastError().message();
    return;
  }
  if (!Bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
    FProblem = U("a %1 objektum már foglalt ezen a kapcsolaton").arg(QString::fromLatin1(kObjectPath));
    return;
  }
  ObjectRegistered = true;
  // A second instance takes a name of its own, as MPRIS says.
  const QString first = QString::fromLatin1(kServiceName);
  for (const QString& name : {first, first + QStringLiteral(".instance") + QString::number(::getpid())}) {
    if (Bus.registerService(name)) {
      FServiceName = name;
      break;
    }
  }
  if (FServiceName.isEmpty()) FProblem = Bus.lastError().message();
  Sent = Current();
}

TMprisService::~TMprisService() {
  if (!FServiceName.isEmpty()) (void)Bus.unregisterService(FServiceName);
  if (ObjectRegistered) Bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

bool TMprisService::HasCompositions() const { return FTarget.RemoteSnapshot().HasCompositions; }

bool TMprisService::RunPlaying(const TRemoteSnapshot& shown) const {
  return RunIndex >= 0 && shown.TestRunInOutput;
}

QString TMprisService::PlaybackStatus() const { return MprisPlaybackStatus(FTarget.RemoteSnapshot().Status); }

qlonglong TMprisService::Position() const {
  const TRemoteSnapshot shown = FTarget.RemoteSnapshot();
  return RunPlaying(shown) ? Microseconds(shown.ElapsedSeconds) : 0;
}

TMprisService::TState TMprisService::Current() const {
  const TRemoteSnapshot shown = FTarget.RemoteSnapshot();
  TState s;
  s.Status = MprisPlaybackStatus(shown.Status);
  s.Can = shown.HasCompositions;
  s.Next = shown.Next;
  s.After = shown.After;
  if (RunPlaying(shown)) {
    s.TrackId = TrackPath(RunIndex);
    s.Title = RunTitle;
    s.LengthUs = RunLengthUs;
    return s;
  }
  // Idle (or a clip preview): what the play action would start, under the
  // name "Következő:" shows.
  s.Title = s.Next;
  if (shown.LiveIndex >= 0) {
    s.TrackId = TrackPath(shown.LiveIndex);
    s.LengthUs = Microseconds(shown.LiveSeconds);
  } else {
    s.TrackId = QString::fromLatin1(kNoTrack);
  }
  return s;
}

QVariantMap TMprisService::Metadata() const {
  const TState s = Current();
  QVariantMap m;
  m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(s.TrackId)));
  m.insert(QStringLiteral("xesam:title"), s.Title);
  if (s.LengthUs >= 0) m.insert(QStringLiteral("mpris:length"), s.LengthUs);
  // The live page's two fields, for "vomrella --remote status".
  m.insert(QStringLiteral("vomrella:next"), s.Next);
  m.insert(QStringLiteral("vomrella:after"), s.After);
  return m;
}

void TMprisService::Refresh() {
  const TState now = Current();
  if (now == Sent) return;
  QVariantMap changed;
  if (now.Status != Sent.Status) changed.insert(QStringLiteral("PlaybackStatus"), now.Status);
  if (now.TrackId != Sent.TrackId || now.Title != Sent.Title || now.LengthUs != Sent.LengthUs ||
      now.Next != Sent.Next || now.After != Sent.After)
    changed.insert(QStringLiteral("Metadata"), Metadata());
  if (now.Can != Sent.Can)
    for (const char* name : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious"})
      changed.insert(QString::fromLatin1(name), now.Can);
  Sent = now;
  if (!Registered()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
  (void)Bus.send(signal);
}

void TMprisService::RunStarted(int index, const QString& name, double seconds) {
  RunIndex = index;
  RunTitle = name;
  RunLengthUs = Microseconds(seconds);
}

bool TMprisService::Held(TRemoteAction action) {
  switch (action) {
    case TRemoteAction::Play:
    case TRemoteAction::Pause:
    case TRemoteAction::Next:
    case TRemoteAction::Previous: return !Guard.Take(int(action));
    case TRemoteAction::Stop:
    case TRemoteAction::Raise: break;  // nothing changes when repeated
  }
  return false;
}

void TMprisService::Answer(TPendingCall& call, const QString* error) {
  if (call.Answered) return;
  call.Answered = true;
  (void)Bus.send(error ? call.Message.createErrorReply(QString::fromLatin1(kErrorName), *error)
                       : call.Message.createReply());
}

void TMprisService::ErrorShown(const QString& text) {
  if (Pending) Answer(*Pending, &text);
}

void TMprisService::Refuse(const QDBusMessage& call, const QString& text) {
  call.setDelayedReply(true);
  (void)Bus.send(call.createErrorReply(QString::fromLatin1(kNotSupported), text));
}

void TMprisService::Perform(TRemoteAction action, const QDBusMessage& message) {
  if (Held(action)) return;  // answered with an empty reply, like a success
  message.setDelayedReply(true);
  TPendingCall call{message};
  // An error box's own event loop may serve another call meanwhile.
  TPendingCall* const outer = std::exchange(Pending, &call);
  QString failure;
  try {
    // Only the play action can end with an error box (its text has then
    // answered the call already).
    if (!FTarget.RunRemoteAction(action)) failure = U("A lejátszás nem indult el.");
  } catch (const std::exception& e) {
    failure = QString::fromLocal8Bit(e.what());
    Answer(call, &failure);
    FTarget.ReportRemoteException(failure);
  } catch (...) {
    failure = U("ismeretlen hiba");
    Answer(call, &failure);
    FTarget.ReportRemoteException(failure);
  }
  Pending = outer;
  // A failed play has answered with its box's text already.
  Answer(call, failure.isEmpty() ? nullptr : &failure);
  Refresh();
}

#include "TMprisService.moc"
