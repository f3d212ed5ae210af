#include "ui/TAnchors.h"

#include <QEvent>
#include <algorithm>
#include <QWidget>

void TAnchors::Anchor(QWidget* control, unsigned edges) {
  QWidget* parent = control->parentWidget();
  if (!parent) return;
  const bool watched = std::any_of(Entries_.begin(), Entries_.end(), [&](const TEntry& e) { return e.Parent == parent; });
  if (!watched) parent->installEventFilter(this);
  Entries_.push_back({control, parent, edges, control->geometry(), parent->size()});
  // A control destroyed before us must not be placed again.
  connect(control, &QObject::destroyed, this, [this, control] {
    std::erase_if(Entries_, [control](const TEntry& e) { return e.Control == control; });
  });
}

bool TAnchors::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize)
    for (const TEntry& entry : Entries_)
      if (entry.Parent == watched) Place(entry);
  return QObject::eventFilter(watched, event);
}

void TAnchors::Place(const TEntry& e) const {
  const QSize now = e.Parent->size();
  const int dw = now.width() - e.ParentSize.width();
  const int dh = now.height() - e.ParentSize.height();
  QRect r = e.Design;
  if (e.Edges & akRight) {
    if (e.Edges & akLeft)
      r.setWidth(std::max(0, r.width() + dw));
    else
      r.moveLeft(r.left() + dw);
  }
  if (e.Edges & akBottom) {
    if (e.Edges & akTop)
      r.setHeight(std::max(0, r.height() + dh));
    else
      r.moveTop(r.top() + dh);
  }
  e.Control->setGeometry(r);
}
