#include "ui/TQtDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

void TQtDialogs::ErrorBox(const QString& text) {
  QMessageBox::critical(Parent_, QStringLiteral("Hiba"), text, QMessageBox::Ok);
}

void TQtDialogs::InfoBox(const QString& text) {
  QMessageBox::information(Parent_, QStringLiteral("Információ"), text, QMessageBox::Ok);
}

bool TQtDialogs::YesNo(const QString& text) {
  return QMessageBox::question(Parent_, QStringLiteral("Megerősítés"), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

QString TQtDialogs::InputBox(const QString& caption, const QString& prompt, const QString& Default) {
  bool ok = false;
  QString text = QInputDialog::getText(Parent_, caption, prompt, QLineEdit::Normal, Default, &ok);
  return ok ? text : Default;
}

QStringList TQtDialogs::NameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
  return filters;
}

namespace {

std::optional<QString> RunFileDialog(QWidget* parent, const TFileDialogSpec& spec, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, spec.Title, QDir::current().absoluteFilePath(spec.InitialDir));
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setNameFilters(TQtDialogs::NameFilters(spec.Filter));
  // The save dialog neither asks before replacing a file nor adds an extension.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setOption(QFileDialog::DontUseNativeDialog, false);
  dialog.setDefaultSuffix(QString());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

}  // namespace

std::optional<QString> TQtDialogs::OpenFile(const TFileDialogSpec& spec) {
  return RunFileDialog(Parent_, spec, QFileDialog::AcceptOpen);
}

std::optional<QString> TQtDialogs::SaveFile(const TFileDialogSpec& spec) {
  return RunFileDialog(Parent_, spec, QFileDialog::AcceptSave);
}
