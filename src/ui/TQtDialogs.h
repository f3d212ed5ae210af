#pragma once
// The window's dialogs as real Qt message boxes, input boxes and file
// dialogs.
//
// Threads: GUI thread only.

#include <QStringList>

#include "ui/TDialogs.h"

class QWidget;

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
