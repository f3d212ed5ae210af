#include "widgets/TOwnPageControl.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QTabBar>

#include "widgets/RasterPrimitives.h"
#include "widgets/SystemColors.h"
#include "widgets/TOwnPageControlAccessible.h"

namespace {

const QColor kTabOutline{0x80, 0x80, 0x80};
const QColor kActiveOutline{0xF1, 0xAF, 0x76};

// Qt's tab bar, silent while the page control paints the row itself; the
// owner's painting then shows through it.
class OwnTabBar : public QTabBar {
 public:
  explicit OwnTabBar(TOwnPageControl* owner) : QTabBar(owner), owner_(owner) {
    // As QTabWidget sets up its own tab bar: the pane frame replaces the base line.
    setDrawBase(false);
    setObjectName(QStringLiteral("qt_tabwidget_tabbar"));
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (owner_->CustomPaintApplies()) return;
    QTabBar::paintEvent(event);
  }

 private:
  TOwnPageControl* owner_;
};

}  // namespace

TOwnPageControl::TOwnPageControl(QWidget* parent)
    : QTabWidget(parent),
      tabBackground_(SystemColors::clBtnShadow),
      tabColor_(0xC0, 0xC0, 0xC0),
      activeSheetColor_(0x00, 0x00, 0x00),
      activeFontColor_(0x00, 0x00, 0x00),
      inactiveFontColor_(0x00, 0x00, 0x00),
      activeBackColor_(0xC0, 0xC0, 0xC0) {
  TOwnTabListAccessible::Install();
  setTabBar(new OwnTabBar(this));
  // Repaint the tab row (not the pages) before the change reaches users.
  connect(this, &QTabWidget::currentChanged, this, [this] {
    const QRect row = TabRowRect();
    if (!row.isEmpty()) update(row);
  });
}

void TOwnPageControl::SetColor(QColor& field, const QColor& value) {
  if (field.rgb() == value.rgb()) return;
  field = QColor(value.rgb());
  update();
}

void TOwnPageControl::SetTabBackground(const QColor& c) { SetColor(tabBackground_, c); }
void TOwnPageControl::SetTabColor(const QColor& c) { SetColor(tabColor_, c); }
void TOwnPageControl::SetActiveSheetColor(const QColor& c) { SetColor(activeSheetColor_, c); }
void TOwnPageControl::SetActiveSheetFontColor(const QColor& c) { SetColor(activeFontColor_, c); }
void TOwnPageControl::SetInactiveSheetFontColor(const QColor& c) { SetColor(inactiveFontColor_, c); }
void TOwnPageControl::SetActiveSheetBackColor(const QColor& c) { SetColor(activeBackColor_, c); }

void TOwnPageControl::SetBorderStyle(TOwnPageControlBorder v) {
  if (borderStyle_ == v) return;
  borderStyle_ = v;
  update();
}

void TOwnPageControl::SetAllowTabChange(bool v) {
  if (allowTabChange_ == v) return;
  allowTabChange_ = v;
  update();
}

void TOwnPageControl::SetOwnerDraw(bool v) {
  if (ownerDraw_ == v) return;
  ownerDraw_ = v;
  update();
  tabBar()->update();
}

void TOwnPageControl::SetStyle(TTabStyle v) {
  if (tabStyle_ == v) return;
  tabStyle_ = v;
  update();
  tabBar()->update();
}

void TOwnPageControl::SetTabPosition(TTabPosition v) {
  if (tabPosition_ == v) return;
  tabPosition_ = v;
  static constexpr QTabWidget::TabPosition kQt[] = {QTabWidget::North, QTabWidget::South, QTabWidget::West,
                                                     QTabWidget::East};
  setTabPosition(kQt[v]);
  update();
}

bool TOwnPageControl::CustomPaintApplies() const {
  return ownerDraw_ && tabStyle_ == tsTabs && tabPosition_ == tpTop;
}

QRect TOwnPageControl::TabRect(int index) const { return tabBar()->tabRect(index).translated(tabBar()->pos()); }

QRect TOwnPageControl::TabRowRect() const {
  if (count() == 0 || currentIndex() < 0) return {};
  const QRect tab = TabRect(currentIndex());
  return QRect(0, tab.y(), width(), tab.height());
}

QString TOwnPageControl::DisplayedCaption(int index) const {
  const QRect tab = TabRect(index);
  const int width = tab.width() - 4;  // the caption keeps 2 pixels from each side
  return QFontMetrics(font()).elidedText(tabText(index), Qt::ElideRight, width < 0 ? 0 : width);
}

void TOwnPageControl::paintEvent(QPaintEvent* event) {
  if (!CustomPaintApplies()) {
    QTabWidget::paintEvent(event);
    return;
  }
  QPainter p(this);
  PaintTabStrip(p, event->rect());
}

void TOwnPageControl::PaintTabStrip(QPainter& p, const QRect& clip) {
  if (count() == 0) return;
  p.setRenderHint(QPainter::Antialiasing, false);

  // A two-pixel frame in the control's colour inside the area being painted.
  const PixelRect c = PixelRect::FromQRect(clip);
  const QColor own = palette().color(backgroundRole());
  Raster::FillRect(p, {c.left, c.top, c.right, c.top + 2}, own);
  Raster::FillRect(p, {c.left, c.bottom - 2, c.right, c.bottom}, own);
  Raster::FillRect(p, {c.left, c.top, c.left + 2, c.bottom}, own);
  Raster::FillRect(p, {c.right - 2, c.top, c.right, c.bottom}, own);

  const PixelRect r = PixelRect::FromQRect(TabRowRect());
  Raster::FillRect(p, r, tabBackground_);

  if (borderStyle_ == bsTopOnly) {
    Raster::FillRect(p, {r.left, r.bottom - 2, r.right, r.bottom - 1}, SystemColors::clBlack);
    Raster::FillRect(p, {r.left, r.bottom - 1, r.right, r.bottom}, SystemColors::clBtnHighlight);
  } else {
    const PixelRect outer{r.left, r.bottom - 2, r.right, height()};
    Raster::RoundedOutline(p, outer, 0, SystemColors::clBlack);
    const PixelRect inner{outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1};
    if (!inner.IsEmpty()) {
      Raster::FillRect(p, {inner.left, inner.top, inner.right, inner.top + 1}, SystemColors::clBtnHighlight);
      Raster::FillRect(p, {inner.left, inner.top, inner.left + 1, inner.bottom}, SystemColors::clBtnHighlight);
      Raster::FillRect(p, {inner.left, inner.bottom - 1, inner.right, inner.bottom}, SystemColors::clBtnShadow);
      Raster::FillRect(p, {inner.right - 1, inner.top, inner.right, inner.bottom}, SystemColors::clBtnShadow);
    }
  }

  const int active = currentIndex();
  for (int i = 0; i < count(); ++i)
    if (i != active) PaintTab(p, i, TabRect(i), false);
  // The active tab last, over its neighbours' slanted edges.
  if (active >= 0) PaintTab(p, active, TabRect(active), true);
}

void TOwnPageControl::PaintTab(QPainter& p, int index, const QRect& tabRect, bool active) {
  const PixelRect t = PixelRect::FromQRect(tabRect);
  const int h = t.bottom - t.top - 3;
  QPoint p1(t.left, t.bottom - 3);
  QPoint p2(t.left, t.top + 2);
  QPoint p3(t.right - h / 2, t.top + 2);
  QPoint p4(p3.x() + h - 2, t.bottom - 3);

  // Face: the polygon P1 P2 P3 P4 with its outline; the right side is a
  // 45-degree slope, so each row reaches one pixel further than the one above.
  const QColor face = active ? activeBackColor_ : tabColor_;
  for (int y = p2.y(); y <= p1.y(); ++y) Raster::FillRect(p, {p1.x(), y, p3.x() + (y - p2.y()) + 1, y + 1}, face);

  p4 += QPoint(1, 1);
  Raster::Line(p, p1, p2, kTabOutline);
  Raster::Line(p, p2, p3, kTabOutline);
  Raster::Line(p, p3, p4, kTabOutline);

  if (active) {
    p1 += QPoint(1, 2);
    p2 += QPoint(1, 1);
    p3 += QPoint(0, 1);
    p4 += QPoint(0, 1);
    Raster::Line(p, p1, p2, kActiveOutline);
    Raster::Line(p, p2, p3, kActiveOutline);
    Raster::Line(p, p3, p4, kActiveOutline);
    // Covers the lines under the row between the tab's sides: the tab opens
    // into its page.
    Raster::FillRect(p, {p1.x() + 1, p1.y() - 1, p4.x() - 1, p4.y() + 1}, face);
  }

  // Caption.
  PixelRect caption{t.left + 2, t.top + 4, t.right - 2, t.bottom};
  const bool greyed = !active && !allowTabChange_;
  const int captionFlags = Qt::AlignCenter | Qt::TextSingleLine;
  const QString text = DisplayedCaption(index);
  p.setFont(font());
  if (greyed) {
    p.setPen(SystemColors::clBtnHighlight);
    p.drawText(caption.Moved(1, 1).ToQRect(), captionFlags, text);
    p.setPen(SystemColors::clBtnShadow);
  } else {
    p.setPen(active ? activeFontColor_ : inactiveFontColor_);
  }
  p.drawText(caption.ToQRect(), captionFlags, text);

  // Hint badge.
  const QString hint = tabToolTip(index);
  if (hint.isEmpty()) return;
  p.setFont(Raster::FontWithCellHeight(QStringLiteral("Arial"), 12));
  const int hintFlags = Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine;
  caption = caption.Moved(-7, 0);
  p.setPen(SystemColors::clBlack);
  if (greyed) {
    p.setPen(SystemColors::clBtnHighlight);
    p.drawText(caption.Moved(1, 1).ToQRect(), hintFlags, hint);
    p.setPen(SystemColors::clBtnShadow);
  }
  p.drawText(caption.ToQRect(), hintFlags, hint);
  caption = caption.Moved(1, -1);
  const int length = static_cast<int>(hint.size());
  Raster::RoundedOutline(p, {caption.right - 7 * length + 1, caption.top + 1, caption.right, caption.top + 12}, 4,
                         kTabOutline);
}
