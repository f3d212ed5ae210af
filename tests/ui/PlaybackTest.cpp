// Clip preview and test runs played from the window on the virtual device,
// and the hotkey rows driven through the fake hotkey service.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "WindowTestSupport.h"
#include "audio/core/TInputList.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "show/ChainTestSupport.h"
#include "show/OperatorText.h"
#include "show/TTestRunChain.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"
#include "widgets/TFlatButton.h"

namespace fs = std::filesystem;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class PlaybackTest : public WindowTest {
 protected:
  // Writes a clip made by the chain helpers into Hangok/ under `name`.
  std::string PutClip(const std::string& stem, const TClipSpec& spec) {
    const std::string made = WriteClip(Scratch, stem, spec);
    const std::string name = fs::path(made).filename().string();
    fs::copy_file(made, Folder / "Hangok" / name, fs::copy_options::overwrite_existing);
    return name;
  }
  std::string HangokPath(const std::string& name) const { return (Folder / "Hangok" / name).string(); }
  // Selects test composition `row` and runs it; the run's end re-enables the
  // run button.
  bool RunAndWait(int row) {
    Window->CB_TestOsszeall->setCurrentIndex(row);
    Window->B_OsszeallRunClick();
    return WaitUntil([&] { return Window->B_OsszeallRun->isEnabled(); });
  }
  std::vector<uint8_t> Heard() const { return Sound->Heard(); }

  TTempFolder Scratch;
};

// Largest difference between heard frames (from frame `at`) and reference
// values, in full-scale units, over `frames` frames.
double MaxError(const std::vector<uint8_t>& heard, size_t at, const std::vector<double>& want, size_t frames,
                const TPcmFormat& pass) {
  const size_t bytes = frames * pass.FrameSize();
  if ((at * pass.FrameSize()) + bytes > heard.size()) return 1e9;
  const std::vector<double> got = PcmToUnit(heard.data() + at * pass.FrameSize(), bytes, pass.BitsPerSample);
  double worst = 0;
  for (size_t i = 0; i < got.size() && i < want.size(); ++i) worst = std::max(worst, std::fabs(got[i] - want[i]));
  return worst;
}

bool AllSilent(const std::vector<uint8_t>& heard, size_t fromFrame, size_t frames, const TPcmFormat& pass) {
  const size_t from = fromFrame * pass.FrameSize();
  const size_t to = from + frames * pass.FrameSize();
  if (to > heard.size()) return false;
  return std::all_of(heard.begin() + long(from), heard.begin() + long(to),
                     [&](uint8_t b) { return b == pass.SilenceByte(); });
}

TEST_F(PlaybackTest, TestRunOfMixedClipsIsHeardInTheFirstClipsFormatWithTheExactPauses) {
  const std::string a = PutClip("a", {TClipKind::ImaAdpcmWav, 1, 22050, 0.8, 101});
  // A stereo tone kept below full scale: where a stereo clip is driven past
  // it, averaging before or after resampling gives different levels.
  const std::string b = "b.wav";
  {
    TFmtFields fmt;
    fmt.Channels = 2;
    fmt.SampleRate = 44100;
    const TBytes bytes = MakeWav(fmt, Int16Bytes(ToneSignal(2, 44100, 0.6, 330.0, 0.7)));
    WriteFile(b, std::string(bytes.begin(), bytes.end()));
  }
  const std::string c = PutClip("c", {TClipKind::Mp3, 2, 44100, 0.7, 103});
  OpenWindowOnSimulatedClock();
  AddComposition(QStringLiteral("Vegyes"));
  // 20 ms and 1000 ms stand between clips, where their length can be seen.
  AddItem(QString::fromStdString(a), QStringLiteral("20"));
  AddItem(QString::fromStdString(b), QStringLiteral("1000"));
  AddItem(QString::fromStdString(c), QStringLiteral("0"));
  ASSERT_EQ(Column(1).size(), 3u);
  ASSERT_TRUE(Dialogs->Texts("error").empty());

  ASSERT_TRUE(RunAndWait(0));
  EXPECT_TRUE(Window->B_FileStart->isEnabled());
  EXPECT_TRUE(Dialogs->Texts("error").empty()) << Dialogs->Texts("error").front().toStdString();
  EXPECT_EQ(Window->DXOut->ExceptionMessage(), "");

  const TDecoded da = DecodeAlone(HangokPath(a));
  const TDecoded db = DecodeAlone(HangokPath(b));
  const TDecoded dc = DecodeAlone(HangokPath(c));
  ASSERT_TRUE(da.Valid && db.Valid && dc.Valid);
  const TPcmFormat pass = da.Format;
  ASSERT_EQ(pass, (TPcmFormat{16, 1, 22050}));
  const TVirtualStats stats = Sound->Stats();
  EXPECT_EQ(stats.OutputFormat.SamplesPerSec, 22050u);
  EXPECT_EQ(stats.OutputFormat.Channels, 1u);

  const std::vector<uint8_t> heard = Heard();
  // The first clip as its reader gives it, byte for byte, then 20 ms: 441
  // frames of silence exactly.
  ASSERT_GE(heard.size(), da.Pcm.size());
  EXPECT_TRUE(std::equal(da.Pcm.begin(), da.Pcm.end(), heard.begin()));
  size_t at = da.Pcm.size() / pass.FrameSize();
  EXPECT_TRUE(AllSilent(heard, at, 441, pass));
  at += 441;

  // The converted clips against a reference made without the list's
  // converter (channels mapped by hand, libswresample in doubles).
  // Tolerance: one 16-bit step plus 2^-11 of full scale (the converter
  // resamples in 16-bit fixed point); a converted clip may end one frame
  // short or long of the reference. A clip played as raw bytes, at the wrong
  // level or shifted by a frame is far outside.
  const double tolerance = std::ldexp(1.0, -15) + std::ldexp(1.0, -11);
  const std::vector<double> wantB = ReferenceConversion(db.Pcm, db.Format, pass);
  const std::vector<double> wantC = ReferenceConversion(dc.Pcm, dc.Format, pass);
  const size_t nb = wantB.size(), nc = wantC.size();
  // Find b's length: the one after which exactly 1000 ms (22050 frames) of
  // silence leads into c with the smallest difference.
  double bestC = 1e9;
  size_t bestB = 0;
  for (size_t kb = nb - 1; kb <= nb + 1; ++kb) {
    if (!AllSilent(heard, at + kb, 22050, pass)) continue;
    const double e = MaxError(heard, at + kb + 22050, wantC, nc - 1, pass);
    if (e < bestC) bestC = e, bestB = kb;
  }
  ASSERT_NE(bestB, 0u) << "no 1000 ms pause found after the second clip";
  EXPECT_LE(MaxError(heard, at, wantB, std::min(bestB, nb), pass), tolerance);
  EXPECT_LE(bestC, tolerance);
  // After c, nothing but silence.
  const size_t end = at + bestB + 22050 + nc + 1;
  ASSERT_LE(end * pass.FrameSize(), heard.size());
  EXPECT_TRUE(AllSilent(heard, end, heard.size() / pass.FrameSize() - end, pass));
}

TEST_F(PlaybackTest, MissingFirstClipWithAPauseLeavesThePassFormatToTheSecondClip) {
  const std::string b = PutClip("b", {TClipKind::PcmWav, 2, 44100, 0.5, 111});
  OpenWindowOnSimulatedClock();
  AddComposition(QStringLiteral("Hiányos"));
  WriteWav("elso.wav", 0.2);
  AddItem(QStringLiteral("elso.wav"), QStringLiteral("300"));
  AddItem(QString::fromStdString(b), QStringLiteral("0"));
  fs::remove(Folder / "Hangok" / "elso.wav");

  ASSERT_TRUE(RunAndWait(0));
  EXPECT_EQ(Sound->Stats().OutputFormat.SamplesPerSec, 44100u);
  EXPECT_EQ(Sound->Stats().OutputFormat.Channels, 2u);
  EXPECT_EQ(Window->RunChain().PassFormat(), (TPcmFormat{16, 2, 44100}));
  // 300 ms of the second clip's format, then the clip untouched.
  std::vector<uint8_t> expected(13230 * 4, 0);
  const std::vector<uint8_t> clip = PcmClipData({TClipKind::PcmWav, 2, 44100, 0.5, 111});
  expected.insert(expected.end(), clip.begin(), clip.end());
  EXPECT_TRUE(IsStreamThenSilence(Heard(), expected, 0));
  EXPECT_TRUE(Dialogs->Texts("error").empty());
}

TEST_F(PlaybackTest, StopAndPauseActDuringARunAndTheRunButtonFollowsTheRun) {
  WriteWav("hosszu.wav", 3.0, 2, 44100);
  OpenWindowOnSimulatedClock();
  AddComposition(QStringLiteral("Egy"));
  AddItem(QStringLiteral("hosszu.wav"), QStringLiteral("500"));
  Clock->Hold();
  Window->CB_TestOsszeall->setCurrentIndex(0);
  Window->B_OsszeallRunClick();
  EXPECT_FALSE(Window->B_OsszeallRun->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return Clock->WaitingSleepers() == 1; }));
  EXPECT_EQ(Window->DXOut->Status(), osPlaying);

  // The pause button of the test group pauses and resumes.
  Window->B_OsszeallPause->click();
  EXPECT_EQ(Window->DXOut->Status(), osPaused);
  Window->B_OsszeallPause->click();
  EXPECT_EQ(Window->DXOut->Status(), osPlaying);

  Window->B_OsszeallStop->click();
  EXPECT_EQ(Window->DXOut->Status(), osIdle);
  EXPECT_TRUE(Window->B_OsszeallRun->isEnabled());
  Clock->Release();
  // A run after the stop plays the whole clip again.
  Sound->ClearHeard();
  ASSERT_TRUE(RunAndWait(0));
  const TDecoded clip = DecodeAlone(HangokPath("hosszu.wav"));
  EXPECT_TRUE(IsStreamThenSilence(Heard(), clip.Pcm, 0));
  EXPECT_TRUE(Dialogs->Texts("error").empty());
}

TEST_F(PlaybackTest, ARunShowsWhatTheDeviceHasPlayedElapsedAndRemainingPausedIncluded) {
  WriteWav("hosszu.wav", 4.0, 2, 44100);
  OpenWindowOnSimulatedClock();
  AddComposition(QStringLiteral("Egy"));
  AddItem(QStringLiteral("hosszu.wav"), QStringLiteral("1000"));  // 5 s in all
  Clock->Hold();
  Window->B_OsszeallRunClick();
  EXPECT_TRUE(Window->Timer->isActive() && Window->ProgressBar->isVisibleTo(Window.get()));
  // Five polls 495 ms apart have been played (though the buffer is full
  // further) when the worker sleeps on the held clock.
  ASSERT_TRUE(HoldClockFrom(2.4));
  Window->TimerTimer();
  const double played = double(Heard().size()) / (44100 * 4);
  EXPECT_NEAR(played, 2.475, 1e-4);
  EXPECT_DOUBLE_EQ(Window->OnAir().Elapsed(), played);
  EXPECT_EQ(Window->ProgressBar->value(), 49);
  EXPECT_EQ(Window->L_Perc->text(), QStringLiteral("49%"));
  EXPECT_EQ(Window->L_OnAir->text(), U("Most szól: Egy\nEltelt: 0:02   Hátra: 0:03"));

  // Paused: the time stands, however long the pause.
  Window->B_OsszeallPause->click();
  EXPECT_EQ(Window->L_OnAir->text(), U("Most szól: Egy\nEltelt: 0:02   Hátra: 0:03   (szünetel)"));
  Clock->AdvanceMs(10000);
  Window->TimerTimer();
  EXPECT_DOUBLE_EQ(Window->OnAir().Elapsed(), played);

  // Resumed and caught in the final drain: the silence after the
  // composition does not count.
  Window->B_OsszeallPause->click();
  ASSERT_TRUE(HoldClockFrom(12.475 + 2.7));
  Window->TimerTimer();
  EXPECT_DOUBLE_EQ(Window->DXOut->PlayedSeconds(), double(Heard().size()) / (44100 * 4));
  EXPECT_EQ(Window->L_Perc->text(), QStringLiteral("100%"));
  EXPECT_GE(Window->L_Perc->width(), Window->L_Perc->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
  EXPECT_EQ(Window->L_OnAir->text(), U("Most szól: Egy\nEltelt: 0:05   Hátra: 0:00"));

  // The end of the run hides the bar and the percentage again.
  Clock->Release();
  ASSERT_TRUE(WaitUntil([&] { return Window->B_OsszeallRun->isEnabled(); }));
  EXPECT_TRUE(Window->ProgressBar->isHidden() && Window->L_Perc->isHidden());
  EXPECT_EQ(Window->L_OnAir->text(), U("Most nem szól semmi."));
}

TEST_F(PlaybackTest, ARunWithNothingPlayableShowsTheWorkersMessage) {
  OpenWindowOnSimulatedClock();
  AddComposition(QStringLiteral("Semmi"));
  WriteWav("eltunik.wav", 0.2);
  AddItem(QStringLiteral("eltunik.wav"), QStringLiteral("500"));
  fs::remove(Folder / "Hangok" / "eltunik.wav");
  // No clip of the run opens: nothing starts, and the box names the file.
  ASSERT_TRUE(RunAndWait(0));
  EXPECT_EQ(Dialogs->Texts("error"),
            (std::vector<QString>{QString::fromUtf8("Hiba a lejátszás során!\nNem található a fájl: ") +
                                  QString::fromStdString((Folder / "Hangok" / "eltunik.wav").string())}));
  EXPECT_EQ(Window->DXOut->Status(), osIdle);
  // A pass the worker cannot play (a preview of a file that is no clip)
  // shows the worker's own message.
  WriteFile("szemet.wav", "nem hang");
  Window->E_FajlNev->setText(QStringLiteral("szemet.wav"));
  Window->B_FileStartClick();
  ASSERT_TRUE(WaitUntil([&] { return Dialogs->Texts("error").size() == 2; }));
  const QString box = Dialogs->Texts("error").back();
  EXPECT_TRUE(box.startsWith(QString::fromUtf8("Hiba a lejátszás során!"))) << box.toStdString();
  // The worker's message, worded in Hungarian for the operator.
  EXPECT_TRUE(box.contains(QString::fromStdString(HungarianMessage(Window->DXOut->ExceptionMessage()))))
      << box.toStdString();
  EXPECT_FALSE(box.contains(QStringLiteral("Failed")) || box.contains(QStringLiteral("Cannot"))) << box.toStdString();
  EXPECT_FALSE(Window->DXOut->ExceptionMessage().empty());
  EXPECT_TRUE(Heard().empty());
}

TEST_F(PlaybackTest, PreviewMessagesAndTheNoCompositionMessage) {
  OpenWindow();
  Window->E_FajlNev->clear();
  Window->B_FileStartClick();
  Window->E_FajlNev->setText(QStringLiteral("nincs.wav"));
  Window->B_FileStartClick();
  Window->B_OsszeallRunClick();
  EXPECT_EQ(Dialogs->Texts("error"),
            (std::vector<QString>{QString::fromUtf8("Adjon meg egy fájlt!"),
                                  QString::fromUtf8("Nem találom a megadott fájlt!"),
                                  QString::fromUtf8("Még nem rögzített összeállítást!")}));
  EXPECT_TRUE(Window->B_OsszeallRun->isEnabled());
  EXPECT_EQ(Window->DXOut->Status(), osIdle);
}

TEST_F(PlaybackTest, TypingDuringAPreviewLeavesThePlayingReaderAlone) {
  WriteWav("elozetes.wav", 2.0, 2, 44100);
  WriteWav("masik.wav", 0.5, 1, 8000);
  OpenWindowOnSimulatedClock();
  Window->E_FajlNev->setText(QStringLiteral("elozetes.wav"));
  Clock->Hold();
  Window->B_FileStartClick();
  ASSERT_TRUE(WaitUntil([&] { return Clock->WaitingSleepers() == 1; }));
  TAuFileIn* playing = Window->PreviewReader();
  ASSERT_NE(playing, nullptr);
  // Every keystroke runs the clip check on the window's own readers.
  QTest::keyClicks(Window->E_FajlNev, QStringLiteral("x"));
  Window->E_FajlNev->setText(QStringLiteral("masik.wav"));
  Window->E_FajlNev->setText(QStringLiteral("nincs.mp3"));
  EXPECT_EQ(Window->PreviewReader(), playing);
  Clock->Release();
  ASSERT_TRUE(WaitUntil([&] { return Window->DXOut->Status() == osIdle; }));
  const TDecoded clip = DecodeAlone(HangokPath("elozetes.wav"));
  ASSERT_FALSE(clip.Pcm.empty());
  EXPECT_TRUE(IsStreamThenSilence(Heard(), clip.Pcm, 0));
  EXPECT_EQ(Window->DXOut->ExceptionMessage(), "");
}

TEST_F(PlaybackTest, ClosingTheWindowDuringARunStopsItFirst) {
  WriteWav("hosszu.wav", 3.0, 2, 44100);
  OpenWindowOnSimulatedClock();
  AddComposition(QStringLiteral("Egy"));
  AddItem(QStringLiteral("hosszu.wav"), QStringLiteral("500"));
  Clock->Hold();
  Window->CB_TestOsszeall->setCurrentIndex(0);
  Window->B_OsszeallRunClick();
  ASSERT_TRUE(WaitUntil([&] { return Clock->WaitingSleepers() == 1; }));
  EXPECT_EQ(Sound->Stats().DevicesOpen, 1);
  // The run's readers and silences are freed only after the output stopped
  // (the address sanitizer build sees any use after that).
  Window.reset();
  EXPECT_EQ(Sound->Stats().DevicesOpen, 0);
  Clock->Release();
}

TEST_F(PlaybackTest, RunsOfMoreThanAHundredClipsPlayEveryClip) {
  WriteWav("rovid.wav", 0.01, 1, 8000);
  OpenWindowOnSimulatedClock();
  AddComposition(QStringLiteral("Sok"));
  for (int i = 0; i < 120; ++i) AddItem(QStringLiteral("rovid.wav"), QStringLiteral("5"));
  ASSERT_TRUE(RunAndWait(0));
  const TDecoded clip = DecodeAlone(HangokPath("rovid.wav"));
  ASSERT_EQ(clip.Pcm.size(), 80u * 2);
  std::vector<uint8_t> expected;
  for (int i = 0; i < 120; ++i) {
    expected.insert(expected.end(), clip.Pcm.begin(), clip.Pcm.end());
    expected.resize(expected.size() + 40 * 2, 0);  // 5 ms at 8000 Hz
  }
  EXPECT_TRUE(IsStreamThenSilence(Heard(), expected, 0));
  EXPECT_EQ(Window->RunChain().Clips().size(), 120u);
}

// The "Hangkártya" menu chooses the output of later runs; a device lost
// under a run ends it with the error box naming it, and the next run plays
// on the default output and says so.
TEST_F(PlaybackTest, TheSoundCardMenuChoosesTheOutputAndALostOneFallsBackToTheDefaultSayingSo) {
  // Longer than the device buffer (1.49 s at 44.1 kHz), which the first
  // poll of the run finds still playing.
  WriteWav("hosszu.wav", 2.0, 1, 44100);
  OpenWindow();
  AddComposition(QStringLiteral("Egy"));
  AddItem(QStringLiteral("hosszu.wav"), QStringLiteral("0"));
  const QList<QAction*> items = Window->MMI_Device->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), QString::fromUtf8("Virtuális hangkimenet (alapértelmezett)"));
  EXPECT_TRUE(items[0]->isChecked());
  EXPECT_EQ(Window->L_Device->toolTip(),
            QString::fromUtf8("Ezen a hangkártyán szól: Virtuális hangkimenet (alapértelmezett)"));

  items[1]->trigger();
  EXPECT_TRUE(items[1]->isChecked() && !items[0]->isChecked());
  EXPECT_EQ(Window->DXOut->DeviceNumber(), 1);
  EXPECT_EQ(Window->L_Device->accessibleName(), QString::fromUtf8("Virtuális hangkimenet 1"));

  Window->CB_TestOsszeall->setCurrentIndex(0);
  Window->B_OsszeallRunClick();
  ASSERT_TRUE(WaitUntil([&] { return !Heard().empty(); }));
  EXPECT_EQ(Window->DXOut->PlayingDeviceNumber(), 1);
  Sound->SetDevicePresent(1, false);
  ASSERT_TRUE(WaitUntil([&] { return !Dialogs->Texts("error").empty() && Window->B_OsszeallRun->isEnabled(); }));
  EXPECT_EQ(Dialogs->Texts("error").back(),
            QString::fromUtf8("Hiba a lejátszás során!\nMegszakadt a lejátszás a hangkimeneten („Virtuális "
                              "hangkimenet 1”): ") +
                QString::fromStdString(Sound->ResultText(srNoDevice)) + QLatin1Char('.'));

  ASSERT_TRUE(RunAndWait(0));
  EXPECT_EQ(Window->DXOut->PlayingDeviceNumber(), 0);
  EXPECT_EQ(Window->DXOut->DeviceNumber(), 1);  // the choice stays for the session
  ASSERT_TRUE(WaitUntil([&] { return !Dialogs->Texts("info").empty(); }));
  EXPECT_TRUE(Dialogs->Texts("info").back().startsWith(
      QString::fromUtf8("A választott hangkimenet („Virtuális hangkimenet 1”) nem nyitható meg: ")));
  EXPECT_EQ(Window->L_Device->accessibleName(), QString::fromUtf8("⚠ Virtuális hangkimenet (alapértelmezett)"));
  EXPECT_EQ(Window->L_Device->toolTip(), Dialogs->Texts("info").back());

  // Chosen during a run, a device is named once the run has ended there.
  Sound->SetDevicePresent(1, true);
  Window->CB_TestOsszeall->setCurrentIndex(0);
  Window->B_OsszeallRunClick();
  ASSERT_TRUE(WaitUntil([&] { return Window->DXOut->PlayingDeviceNumber() == 1; }));
  items[0]->trigger();
  EXPECT_EQ(Window->L_Device->accessibleName(), QString::fromUtf8("Virtuális hangkimenet 1"));
  ASSERT_TRUE(WaitUntil([&] { return Window->B_OsszeallRun->isEnabled(); }));
  EXPECT_EQ(Window->L_Device->accessibleName(), QString::fromUtf8("Virtuális hangkimenet (alapértelmezett)"));
}

}  // namespace
