#include "widgets/TFlatButtonAccessible.h"

#include <QKeySequence>

#include "widgets/TFlatButton.h"

namespace {

// The caption as read aloud: "&Mentés" is "Mentés", "A && B" is "A & B".
QString WithoutMnemonic(const QString& caption) {
  QString text;
  text.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&')) {
      if (i + 1 >= caption.size()) break;
      ++i;
    }
    text += caption[i];
  }
  return text;
}

QString Mnemonic(const QString& caption) {
  return QKeySequence::mnemonic(caption).toString(QKeySequence::NativeText);
}

// Qt asks the factories for every class of an object, most derived first.
// The interface it gets is Qt's to keep: it is deleted with the widget.
QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className != QLatin1String("TFlatButton") || !object) return nullptr;
  auto* button = qobject_cast<TFlatButton*>(object);
  return button ? new TFlatButtonAccessible(button) : nullptr;
}

}  // namespace

TFlatButtonAccessible::TFlatButtonAccessible(TFlatButton* button)
    : QAccessibleWidget(button, QAccessible::Button) {}

void TFlatButtonAccessible::Install() {
  static const bool installed = [] {
    QAccessible::installFactory(&Factory);
    return true;
  }();
  (void)installed;
}

TFlatButton* TFlatButtonAccessible::Button() const { return static_cast<TFlatButton*>(widget()); }

QString TFlatButtonAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Name) {
    QString name = widget()->accessibleName();
    if (name.isEmpty()) name = WithoutMnemonic(Button()->Caption());
    if (name.isEmpty()) name = Button()->Hint();
    return name;
  }
  if (t == QAccessible::Accelerator) return Mnemonic(Button()->Caption());
  return QAccessibleWidget::text(t);
}

QAccessible::State TFlatButtonAccessible::state() const {
  QAccessible::State s = QAccessibleWidget::state();
  TFlatButton* button = Button();
  s.pressed = button->IsPressed();
  s.checkable = button->isCheckable();
  s.checked = button->isChecked();
  s.defaultButton = button->Default();
  return s;
}

QStringList TFlatButtonAccessible::actionNames() const {
  QStringList names;
  if (widget()->isEnabled()) names << pressAction();
  return names << QAccessibleWidget::actionNames();
}

void TFlatButtonAccessible::doAction(const QString& actionName) {
  if (actionName == pressAction()) {
    Button()->Click();  // does nothing while disabled
    return;
  }
  QAccessibleWidget::doAction(actionName);
}

QStringList TFlatButtonAccessible::keyBindingsForAction(const QString& actionName) const {
  if (actionName != pressAction()) return QAccessibleWidget::keyBindingsForAction(actionName);
  const QString mnemonic = Mnemonic(Button()->Caption());
  return mnemonic.isEmpty() ? QStringList() : QStringList{mnemonic};
}
