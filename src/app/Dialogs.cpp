#include "app/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

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

TSaveChangesAnswer TQtDialogs::SaveChanges(const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Megerősítés"), text, QMessageBox::NoButton, Parent_);
  QPushButton* save = box.addButton(QString::fromUtf8("Mentés"), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(QString::fromUtf8("Kilépés mentés nélkül"), QMessageBox::DestructiveRole);
  QPushButton* stay = box.addButton(QString::fromUtf8("Mégse"), QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.setEscapeButton(stay);
  box.exec();
  if (box.clickedButton() == save) return TSaveChangesAnswer::Save;
  if (box.clickedButton() == discard) return TSaveChangesAnswer::Discard;
  return TSaveChangesAnswer::Stay;
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
  // The save dialog adds no extension; the window asks before replacing a
  // file itself (through YesNo, so tests answer it too).
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
