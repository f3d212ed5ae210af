#pragma once
// What assistive technology learns of a page control's tab row: a page tab
// list whose children are its tabs, one per page, each named by its caption
// (without the padding spaces captions carry), described by its hint, and
// selected, focused or disabled as the page is. Pressing a tab selects its
// page, as a click does. Qt's own tab bar interface reports neither the
// selected tab nor a disabled one.
//
// GUI thread only.

#include <QAccessibleWidget>
#include <QHash>

class QTabBar;

class TOwnTabListAccessible : public QAccessibleWidget {
 public:
  explicit TOwnTabListAccessible(QTabBar* tabBar);
  ~TOwnTabListAccessible() override;

  // Registers the interface with Qt's accessibility for the tab bars of
  // page controls, once per process; every page control calls it.
  static void Install();

  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;

  QTabBar* TabBar() const;

 private:
  // Tab interfaces by index, registered with Qt (which keeps them alive
  // until this list gives them back).
  mutable QHash<int, QAccessible::Id> tabs_;
};

class TOwnTabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  TOwnTabAccessible(TOwnTabListAccessible* list, int index) : list_(list), index_(index) {}

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QWindow* window() const override;
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override { return list_; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return QAccessible::PageTab; }
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  QStringList actionNames() const override;
  void doAction(const QString& actionName) override;
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  TOwnTabListAccessible* list_;
  int index_;
};
