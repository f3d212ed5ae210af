#pragma once
// TFlatButton: a push button that paints itself — a banded vertical gradient
// (or solid) face inside a rounded frame, a second frame while hovered or
// focused, a one-pixel shadow on the right and bottom, an optional glyph
// beside or above the caption, an optional sub-text in the top-right corner
// and a dotted focus rectangle.
//
// Threads: every method is GUI thread only, like the widget itself.
//
// Hover and space-bar state is shared by all flat buttons of the process: the
// button under the mouse (the "hovered" button) and whether the space bar has
// been released since a flat button saw it go down. Holding space on a
// focused button shows it pressed; releasing space clicks it once. Every
// key-down is passed on to the parent widget; key-ups are not.
//
// Property setters store the value and repaint only when it differs, except
// where a setter says otherwise.
//
// Assistive technology sees it as a push button (TFlatButtonAccessible).

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QString>

#include <functional>
#include <optional>

#include "widgets/TButtonGlyph.h"

class QShortcut;

enum TGradStyle { gsHorizontal, gsVertical };
enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };

class TFlatButton : public QPushButton {
  Q_OBJECT

 public:
  explicit TFlatButton(QWidget* parent = nullptr);
  ~TFlatButton() override;

  QString Caption() const { return text(); }
  // Repaints, then refits the width when AutoSize is on.
  void SetCaption(const QString& caption);

  QString SubText() const { return subText_; }
  void SetSubText(const QString& text);

  // Colour of the caption (the font colour).
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor& c);

  TGradStyle GradStyle() const { return gradStyle_; }
  void SetGradStyle(TGradStyle v);  // stored only: the face is always top to bottom

  QColor ColorButton() const { return colorButton_; }
  void SetColorButton(const QColor& c);
  QColor GradStartColor() const { return gradStart_; }
  void SetGradStartColor(const QColor& c);
  QColor GradEndColor() const { return gradEnd_; }
  void SetGradEndColor(const QColor& c);
  QColor GradMouseInStartColor() const { return gradMouseInStart_; }
  void SetGradMouseInStartColor(const QColor& c);
  QColor GradMouseInEndColor() const { return gradMouseInEnd_; }
  void SetGradMouseInEndColor(const QColor& c);
  QColor ShadowColor() const { return shadow_; }
  void SetShadowColor(const QColor& c);
  QColor ActiveFrameColor() const { return activeFrame_; }
  void SetActiveFrameColor(const QColor& c);
  QColor DefaultFrameColor() const { return defaultFrame_; }
  void SetDefaultFrameColor(const QColor& c);
  QColor ColorFrame() const { return colorFrame_; }
  void SetColorFrame(const QColor& c);

  // Stored and repainted unconditionally; painting does not read them.
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int v);
  int BevelWidthM() const { return bevelWidthM_; }
  void SetBevelWidthM(int v);
  int BevelWidthDown() const { return bevelWidthDown_; }
  void SetBevelWidthDown(int v);

  // Return/Enter anywhere in the window clicks the default button (a focused
  // flat button takes it instead); Escape clicks the cancel button.
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v);
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int v) { modalResult_ = v; }

  // The glyph strip; assigning marks the glyph as modified and repaints.
  const QImage& Glyph() const { return glyph_.Bitmap(); }
  void SetGlyph(const QImage& bitmap, std::optional<QColor> fixedTransparent = std::nullopt);
  int NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(int count);  // above 4 becomes 4; 0 is ignored

  // Reading yields bkCustom (and stores it) once Default, Cancel, ModalResult
  // or the glyph no longer match the stored kind's preset.
  TBitBtnKind Kind();
  void SetKind(TBitBtnKind kind);

  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout v);
  int Margin() const { return margin_; }
  void SetMargin(int v);  // values below -1 are ignored
  int RoundedEdge() const { return roundedEdge_; }
  void SetRoundedEdge(int v);  // values below -1 are ignored
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  TButtonStyle Style() const { return style_; }
  void SetStyle(TButtonStyle v);  // stored only
  int Spacing() const { return spacing_; }
  void SetSpacing(int v);
  bool Gradient() const { return gradient_; }
  void SetGradient(bool v);

  // Off: the button still takes the focus when clicked but not by Tab, and a
  // focused button then shows neither the inner frame nor the focus rectangle.
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v);

  // The hint shows as a tooltip while ShowHint is on.
  QString Hint() const { return hint_; }
  void SetHint(const QString& hint);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);

  // Help context for bkHelp buttons (0: none), and the application's help
  // viewer that a bkHelp click hands the context to.
  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int v) { helpContext_ = v; }
  static void SetHelpViewer(std::function<void(int)> viewer);

  // Sets the width to glyph image width + caption width + 5 when AutoSize is on.
  void FitWidthToContent();

  // Clicks as the user does: bkHelp shows help, bkClose closes the window,
  // everything else sets the modal result and emits clicked().
  void Click();

  // The button the mouse is in, or null.
  static TFlatButton* HoveredButton();

  // Shown pressed: held down by the mouse, or the space bar held while focused.
  bool IsPressed() const;

  QSize sizeHint() const override { return size(); }
  QSize minimumSizeHint() const override { return QSize(0, 0); }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void PaintFace(QPainter& p);
  void DrawGlyphAndCaption(QPainter& p, TButtonGlyph::State state);
  void DrawSubText(QPainter& p, QRect& r, bool disabled);
  bool SpecialClick();
  void ApplyModalResult();
  void RepaintWithHovered();
  void NotifyPressedChanged();
  void UpdateToolTip();
  void SetColor(QColor& field, const QColor& value);
  template <typename T>
  void SetValue(T& field, const T& value) {
    if (field == value) return;
    field = value;
    update();
  }

  QString subText_;
  QColor fontColor_;
  TGradStyle gradStyle_ = gsVertical;
  QColor colorButton_;
  QColor gradStart_;
  QColor gradEnd_;
  QColor gradMouseInStart_;
  QColor gradMouseInEnd_;
  QColor shadow_;
  QColor activeFrame_;
  QColor defaultFrame_;
  QColor colorFrame_;
  int bevelWidth_ = 1;
  int bevelWidthM_ = 2;
  int bevelWidthDown_ = 1;
  bool default_ = false;
  bool cancel_ = false;
  int modalResult_ = 0;
  TBitBtnKind kind_ = bkCustom;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  int roundedEdge_ = 6;
  bool autoSize_ = false;
  TButtonStyle style_ = bsAutoDetect;
  int spacing_ = 4;
  bool gradient_ = true;
  bool tabStop_ = true;
  QString hint_;
  bool showHint_ = false;
  int helpContext_ = 0;

  TButtonGlyph glyph_;
  bool mouseInside_ = false;
  bool glyphModified_ = false;
  // Owned by this button as their Qt parent; null while the behaviour is off.
  QShortcut* returnShortcut_ = nullptr;
  QShortcut* enterShortcut_ = nullptr;
  QShortcut* escapeShortcut_ = nullptr;
};
