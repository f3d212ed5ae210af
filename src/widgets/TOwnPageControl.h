#pragma once
// TOwnPageControl: a tab widget that paints its own tab row — a coloured band
// behind folder-shaped tabs with a slanted right edge, the active tab merged
// into its page, a separator or a full border under the row and an optional
// hint badge per tab — when OwnerDraw is on, Style is tsTabs and TabPosition
// is tpTop. In every other combination Qt draws it as a plain QTabWidget.
//
// The pages themselves are painted by Qt as usual. A tab's hint badge shows
// the tab's tooltip text (setTabToolTip).
//
// Assistive technology sees the tab row as a page tab list
// (TOwnPageControlAccessible).
//
// Threads: GUI thread only. Setters store the value and repaint only when it
// differs.

#include <QColor>
#include <QRect>
#include <QTabWidget>

enum TOwnPageControlBorder { bsTopOnly, bsFull };
enum TTabStyle { tsTabs, tsButtons, tsFlatButtons };
enum TTabPosition { tpTop, tpBottom, tpLeft, tpRight };

class TOwnPageControl : public QTabWidget {
  Q_OBJECT

 public:
  explicit TOwnPageControl(QWidget* parent = nullptr);

  QColor TabBackground() const { return tabBackground_; }
  void SetTabBackground(const QColor& c);
  QColor TabColor() const { return tabColor_; }
  void SetTabColor(const QColor& c);
  // Stored and repainted only: the active tab's inner outline is always #F1AF76.
  QColor ActiveSheetColor() const { return activeSheetColor_; }
  void SetActiveSheetColor(const QColor& c);
  QColor ActiveSheetFontColor() const { return activeFontColor_; }
  void SetActiveSheetFontColor(const QColor& c);
  QColor InactiveSheetFontColor() const { return inactiveFontColor_; }
  void SetInactiveSheetFontColor(const QColor& c);
  QColor ActiveSheetBackColor() const { return activeBackColor_; }
  void SetActiveSheetBackColor(const QColor& c);
  TOwnPageControlBorder BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TOwnPageControlBorder v);
  // False only greys the inactive captions; every tab can still be selected.
  bool AllowTabChange() const { return allowTabChange_; }
  void SetAllowTabChange(bool v);

  bool OwnerDraw() const { return ownerDraw_; }
  void SetOwnerDraw(bool v);
  // tsButtons and tsFlatButtons have no Qt look of their own: Qt's tabs show.
  TTabStyle Style() const { return tabStyle_; }
  void SetStyle(TTabStyle v);
  TTabPosition TabPosition() const { return tabPosition_; }
  void SetTabPosition(TTabPosition v);

  // True when this control paints its tab row itself.
  bool CustomPaintApplies() const;

  // The active tab's rectangle widened to the whole control width, in this
  // widget's coordinates; empty with no pages.
  QRect TabRowRect() const;

  // The caption as drawn on tab `index`: shortened with an ellipsis when it
  // does not fit between the tab's sides.
  QString DisplayedCaption(int index) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintTabStrip(QPainter& p, const QRect& clip);
  void PaintTab(QPainter& p, int index, const QRect& tab, bool active);
  QRect TabRect(int index) const;
  void SetColor(QColor& field, const QColor& value);

  QColor tabBackground_;
  QColor tabColor_;
  QColor activeSheetColor_;
  QColor activeFontColor_;
  QColor inactiveFontColor_;
  QColor activeBackColor_;
  TOwnPageControlBorder borderStyle_ = bsTopOnly;
  bool allowTabChange_ = true;
  bool ownerDraw_ = false;
  TTabStyle tabStyle_ = tsTabs;
  TTabPosition tabPosition_ = tpTop;
};
