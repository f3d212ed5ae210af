#pragma once
// What assistive technology (a screen reader over AT-SPI) learns of a flat
// button: a push button, named by its accessible name, else by its caption
// without the mnemonic marker, else by its hint, so that a glyph-only button
// still says what it does; its pressed (space held included), checked,
// default, disabled and focus states; and a press action that clicks it as
// the user does (bkHelp and bkClose kinds included).
//
// GUI thread only.

#include <QAccessibleWidget>

class TFlatButton;

class TFlatButtonAccessible : public QAccessibleWidget {
 public:
  explicit TFlatButtonAccessible(TFlatButton* button);

  // Registers the interface with Qt's accessibility, once per process; every
  // flat button calls it when it is made.
  static void Install();

  QString text(QAccessible::Text t) const override;
  QAccessible::State state() const override;
  QStringList actionNames() const override;
  void doAction(const QString& actionName) override;
  QStringList keyBindingsForAction(const QString& actionName) const override;

 private:
  TFlatButton* Button() const;
};
