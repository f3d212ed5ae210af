#pragma once
// The modal boxes and file dialogs the window uses, behind one interface so
// that tests answer them without a person (ScriptedDialogs in the tests) and
// the program shows real Qt dialogs (TQtDialogs).
//
// Threads: GUI thread only. Every call blocks until answered.

#include <QString>
#include <optional>

class QWidget;

// The answer to the question before closing with unsaved edits.
enum class TSaveChangesAnswer { Save, Discard, Stay };

// One open or save dialog as the window describes it.
struct TFileDialogSpec {
  QString Title;
  // "description|pattern|description|pattern...", e.g. "Wav fájlok|*.wav".
  QString Filter;
  QString InitialDir;  // relative to the current folder
};

class TDialogs {
 public:
  virtual ~TDialogs() = default;

  // Error box with an OK button.
  virtual void ErrorBox(const QString& text) = 0;
  // Information box with an OK button.
  virtual void InfoBox(const QString& text) = 0;
  // Confirmation box with Yes and No buttons; true for Yes.
  virtual bool YesNo(const QString& text) = 0;
  // The question before closing with unsaved edits, with three buttons:
  // "Mentés", "Kilépés mentés nélkül" and "Mégse" (stay; also the answer
  // when the box is closed).
  virtual TSaveChangesAnswer SaveChanges(const QString& text) = 0;
  // Input box; returns the text typed, or Default when cancelled.
  virtual QString InputBox(const QString& caption, const QString& prompt, const QString& Default) = 0;
  // The chosen file's path, or nothing when cancelled. Neither dialog
  // changes the process's current folder.
  virtual std::optional<QString> OpenFile(const TFileDialogSpec& spec) = 0;
  virtual std::optional<QString> SaveFile(const TFileDialogSpec& spec) = 0;
};

// Real Qt dialogs, parented to `parent` (the main window).
class TQtDialogs : public TDialogs {
 public:
  explicit TQtDialogs(QWidget* parent) : Parent_(parent) {}
  void ErrorBox(const QString& text) override;
  void InfoBox(const QString& text) override;
  bool YesNo(const QString& text) override;
  TSaveChangesAnswer SaveChanges(const QString& text) override;
  QString InputBox(const QString& caption, const QString& prompt, const QString& Default) override;
  std::optional<QString> OpenFile(const TFileDialogSpec& spec) override;
  std::optional<QString> SaveFile(const TFileDialogSpec& spec) override;

  // "Wav fájlok|*.wav|MP3 fájlok|*.mp3" as Qt name filters
  // ("Wav fájlok (*.wav)", "MP3 fájlok (*.mp3)").
  static QStringList NameFilters(const QString& filter);

 private:
  QWidget* Parent_;
};
