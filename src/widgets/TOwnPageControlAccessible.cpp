#include "widgets/TOwnPageControlAccessible.h"

#include <QTabBar>

#include "widgets/TOwnPageControl.h"

namespace {

// Qt asks the factories for every class of an object, most derived first.
// The interface it gets is Qt's to keep: it is deleted with the widget.
QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className != QLatin1String("QTabBar") || !object) return nullptr;
  auto* tabBar = qobject_cast<QTabBar*>(object);
  if (!tabBar || !qobject_cast<TOwnPageControl*>(tabBar->parent())) return nullptr;
  return new TOwnTabListAccessible(tabBar);
}

}  // namespace

TOwnTabListAccessible::TOwnTabListAccessible(QTabBar* tabBar) : QAccessibleWidget(tabBar, QAccessible::PageTabList) {}

TOwnTabListAccessible::~TOwnTabListAccessible() {
  for (QAccessible::Id id : std::as_const(tabs_)) QAccessible::deleteAccessibleInterface(id);
}

void TOwnTabListAccessible::Install() {
  static const bool installed = [] {
    QAccessible::installFactory(&Factory);
    return true;
  }();
  (void)installed;
}

QTabBar* TOwnTabListAccessible::TabBar() const { return static_cast<QTabBar*>(widget()); }

int TOwnTabListAccessible::childCount() const { return TabBar()->count(); }

QAccessibleInterface* TOwnTabListAccessible::child(int index) const {
  if (index < 0 || index >= childCount()) return nullptr;
  if (const auto it = tabs_.constFind(index); it != tabs_.constEnd()) return QAccessible::accessibleInterface(*it);
  auto* tab = new TOwnTabAccessible(const_cast<TOwnTabListAccessible*>(this), index);
  tabs_.insert(index, QAccessible::registerAccessibleInterface(tab));
  return tab;
}

int TOwnTabListAccessible::indexOfChild(const QAccessibleInterface* child) const {
  for (auto it = tabs_.constBegin(); it != tabs_.constEnd(); ++it)
    if (QAccessible::accessibleInterface(it.value()) == child) return it.key() < childCount() ? it.key() : -1;
  return -1;
}

QAccessibleInterface* TOwnTabListAccessible::childAt(int x, int y) const {
  const int index = TabBar()->tabAt(TabBar()->mapFromGlobal(QPoint(x, y)));
  return index >= 0 ? child(index) : nullptr;
}

QAccessibleInterface* TOwnTabListAccessible::focusChild() const {
  return TabBar()->hasFocus() ? child(TabBar()->currentIndex()) : nullptr;
}

bool TOwnTabAccessible::isValid() const { return list_->isValid() && index_ < list_->childCount(); }

QWindow* TOwnTabAccessible::window() const { return list_->window(); }

QString TOwnTabAccessible::text(QAccessible::Text t) const {
  if (!isValid()) return {};
  if (t == QAccessible::Name) return list_->TabBar()->tabText(index_).trimmed();
  if (t == QAccessible::Description) return list_->TabBar()->tabToolTip(index_);
  return {};
}

QRect TOwnTabAccessible::rect() const {
  if (!isValid()) return {};
  const QTabBar* bar = list_->TabBar();
  const QRect r = bar->tabRect(index_);
  return QRect(bar->mapToGlobal(r.topLeft()), r.size());
}

QAccessible::State TOwnTabAccessible::state() const {
  QAccessible::State s;
  if (!isValid()) {
    s.invalid = true;
    return s;
  }
  const QTabBar* bar = list_->TabBar();
  const bool current = bar->currentIndex() == index_;
  s.selectable = true;
  s.selected = current;
  s.focusable = bar->focusPolicy() != Qt::NoFocus;
  s.focused = current && bar->hasFocus();
  s.disabled = !bar->isEnabled() || !bar->isTabEnabled(index_);
  s.invisible = !bar->isVisible() || !bar->isTabVisible(index_);
  return s;
}

void* TOwnTabAccessible::interface_cast(QAccessible::InterfaceType type) {
  return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
}

QStringList TOwnTabAccessible::actionNames() const {
  if (!isValid() || state().disabled) return {};
  return {pressAction()};
}

void TOwnTabAccessible::doAction(const QString& actionName) {
  if (actionName != pressAction() || !isValid() || state().disabled) return;
  list_->TabBar()->setCurrentIndex(index_);
}
