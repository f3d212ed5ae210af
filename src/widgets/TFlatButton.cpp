#include "widgets/TFlatButton.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

#include <array>
#include <cstdint>

#include "widgets/PresetGlyphs.h"
#include "widgets/RasterPrimitives.h"
#include "widgets/SystemColors.h"
#include "widgets/TFlatButtonAccessible.h"

namespace {

// Shared by every flat button of the process (GUI thread only).
QPointer<TFlatButton> g_hovered;
bool g_spaceReleased = true;
std::function<void(int)> g_helpViewer;

constexpr std::array<int, 11> kKindModalResults = {0, 1, 2, 0, 6, 7, 0, 3, 4, 5, 8};

const QColor kSubTextFrameDisabled{0xE1, 0xE8, 0xEC};

struct GlyphTextLayout {
  QPoint glyph;
  QRect text;
};

// Places glyph and caption in the client rectangle. All divisions truncate
// toward zero, as the look of existing screens depends on it.
GlyphTextLayout LayoutGlyphAndText(const QRect& client, QSize glyph, QSize textSize, TButtonLayout layout, int margin,
                                   int spacing, QPoint offset) {
  const int cw = client.width(), ch = client.height();
  const int gw = glyph.width(), gh = glyph.height();
  const int tw = textSize.width(), th = textSize.height();
  const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
  int gx = 0, gy = 0, tx = 0, ty = 0;
  if (horizontal) {
    gy = (ch - gh + 1) / 2;
    ty = (ch - th + 1) / 2;
  } else {
    gx = (cw - gw + 1) / 2;
    tx = (cw - tw + 1) / 2;
  }
  if (tw == 0 || gw == 0) spacing = 0;
  if (margin == -1) {
    if (spacing == -1) {
      margin = (horizontal ? cw - (gw + tw) : ch - (gh + th)) / 3;
      spacing = margin;
    } else {
      margin = horizontal ? (cw - (gw + spacing + tw) + 1) / 2 : (ch - (gh + spacing + th) + 1) / 2;
    }
  } else if (spacing == -1) {
    spacing = horizontal ? ((cw - (margin + gw)) - tw) / 2 : ((ch - (margin + gh)) - th) / 2;
  }
  switch (layout) {
    case blGlyphLeft:
      gx = margin;
      tx = gx + gw + spacing;
      break;
    case blGlyphRight:
      gx = cw - margin - gw;
      tx = gx - spacing - tw;
      break;
    case blGlyphTop:
      gy = margin;
      ty = gy + gh + spacing;
      break;
    case blGlyphBottom:
      gy = ch - margin - gh;
      ty = gy - spacing - th;
      break;
  }
  const QPoint origin = client.topLeft() + offset;
  return {QPoint(gx, gy) + origin, QRect(QPoint(tx, ty) + origin, textSize)};
}

}  // namespace

TFlatButton::TFlatButton(QWidget* parent)
    : QPushButton(parent),
      fontColor_(SystemColors::clWindowText),
      colorButton_(SystemColors::clBtnFace),
      gradStart_(0xCA, 0xDF, 0xF7),
      gradEnd_(0x89, 0xB8, 0xEB),
      gradMouseInStart_(SystemColors::clSkyBlue),
      gradMouseInEnd_(SystemColors::clSkyBlue),
      shadow_(0xFF, 0xFF, 0xFF),
      activeFrame_(0xF1, 0xAF, 0x76),
      defaultFrame_(0x37, 0x59, 0x06),
      colorFrame_(0x00, 0x00, 0x00) {
  TFlatButtonAccessible::Install();
  setAutoDefault(false);
  setFocusPolicy(Qt::StrongFocus);
  resize(75, 25);
  glyph_.OnChange = [this] { update(); };
  // Connected before any user of clicked(), so the modal result is set first.
  connect(this, &QAbstractButton::clicked, this, &TFlatButton::ApplyModalResult);
}

TFlatButton::~TFlatButton() {
  if (g_hovered == this) g_hovered = nullptr;
}

TFlatButton* TFlatButton::HoveredButton() { return g_hovered.data(); }

bool TFlatButton::IsPressed() const { return isDown() || (!g_spaceReleased && hasFocus()); }

void TFlatButton::SetHelpViewer(std::function<void(int)> viewer) { g_helpViewer = std::move(viewer); }

void TFlatButton::SetCaption(const QString& caption) {
  setText(caption);
  update();
  FitWidthToContent();
}

void TFlatButton::SetSubText(const QString& text) { SetValue(subText_, text); }
void TFlatButton::SetFontColor(const QColor& c) { SetColor(fontColor_, c); }
void TFlatButton::SetGradStyle(TGradStyle v) { SetValue(gradStyle_, v); }
void TFlatButton::SetColorButton(const QColor& c) { SetColor(colorButton_, c); }
void TFlatButton::SetGradStartColor(const QColor& c) { SetColor(gradStart_, c); }
void TFlatButton::SetGradEndColor(const QColor& c) { SetColor(gradEnd_, c); }
void TFlatButton::SetGradMouseInStartColor(const QColor& c) { SetColor(gradMouseInStart_, c); }
void TFlatButton::SetGradMouseInEndColor(const QColor& c) { SetColor(gradMouseInEnd_, c); }
void TFlatButton::SetShadowColor(const QColor& c) { SetColor(shadow_, c); }
void TFlatButton::SetActiveFrameColor(const QColor& c) { SetColor(activeFrame_, c); }
void TFlatButton::SetDefaultFrameColor(const QColor& c) { SetColor(defaultFrame_, c); }
void TFlatButton::SetColorFrame(const QColor& c) { SetColor(colorFrame_, c); }
void TFlatButton::SetLayout(TButtonLayout v) { SetValue(layout_, v); }
void TFlatButton::SetStyle(TButtonStyle v) { SetValue(style_, v); }
void TFlatButton::SetSpacing(int v) { SetValue(spacing_, v); }
void TFlatButton::SetGradient(bool v) { SetValue(gradient_, v); }

void TFlatButton::SetColor(QColor& field, const QColor& value) {
  // Colours compare as plain RGB, the way they are stored.
  if (field.rgb() == value.rgb()) return;
  field = QColor(value.rgb());
  update();
}

void TFlatButton::SetBevelWidth(int v) {
  bevelWidth_ = v;
  update();
}
void TFlatButton::SetBevelWidthM(int v) {
  bevelWidthM_ = v;
  update();
}
void TFlatButton::SetBevelWidthDown(int v) {
  bevelWidthDown_ = v;
  update();
}

void TFlatButton::SetMargin(int v) {
  if (v < -1) return;
  SetValue(margin_, v);
}

void TFlatButton::SetRoundedEdge(int v) {
  if (v < -1) return;
  SetValue(roundedEdge_, v);
}

void TFlatButton::SetAutoSize(bool v) {
  autoSize_ = v;
  FitWidthToContent();
}

void TFlatButton::SetTabStop(bool v) {
  tabStop_ = v;
  setFocusPolicy(v ? Qt::StrongFocus : Qt::ClickFocus);
  update();
}

void TFlatButton::SetHint(const QString& hint) {
  hint_ = hint;
  UpdateToolTip();
}

void TFlatButton::SetShowHint(bool v) {
  showHint_ = v;
  UpdateToolTip();
}

void TFlatButton::UpdateToolTip() { setToolTip(showHint_ ? hint_ : QString()); }

void TFlatButton::SetDefault(bool v) {
  default_ = v;
  delete returnShortcut_;
  delete enterShortcut_;
  returnShortcut_ = enterShortcut_ = nullptr;
  if (!v) return;
  auto activate = [this] {
    // A focused flat button of the same window takes Return itself.
    auto* focused = qobject_cast<TFlatButton*>(QApplication::focusWidget());
    if (focused && focused != this && focused->window() == window() && focused->isEnabled()) {
      focused->Click();
      return;
    }
    Click();
  };
  returnShortcut_ = new QShortcut(QKeySequence(Qt::Key_Return), this);
  enterShortcut_ = new QShortcut(QKeySequence(Qt::Key_Enter), this);
  for (QShortcut* s : {returnShortcut_, enterShortcut_}) {
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, activate);
  }
}

void TFlatButton::SetCancel(bool v) {
  cancel_ = v;
  delete escapeShortcut_;
  escapeShortcut_ = nullptr;
  if (!v) return;
  escapeShortcut_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escapeShortcut_->setContext(Qt::WindowShortcut);
  connect(escapeShortcut_, &QShortcut::activated, this, &TFlatButton::Click);
}

void TFlatButton::SetGlyph(const QImage& bitmap, std::optional<QColor> fixedTransparent) {
  glyph_.SetBitmap(bitmap, fixedTransparent);
  glyphModified_ = true;
  update();
}

void TFlatButton::SetNumGlyphs(int count) {
  if (count > 4) count = 4;
  if (count <= 0) return;
  glyph_.SetNumGlyphs(count);
}

TBitBtnKind TFlatButton::Kind() {
  if (kind_ == bkCustom) return kind_;
  const bool defaultKind = kind_ == bkOK || kind_ == bkYes;
  const bool cancelKind = kind_ == bkCancel || kind_ == bkNo;
  if (defaultKind != default_ || cancelKind != cancel_ || modalResult_ != kKindModalResults[kind_] || glyphModified_)
    kind_ = bkCustom;
  return kind_;
}

void TFlatButton::SetKind(TBitBtnKind kind) {
  if (kind == bkCustom) {
    kind_ = kind;
    update();
    return;
  }
  if (kind == bkOK || kind == bkYes) SetDefault(true);
  if (kind == bkCancel || kind == bkNo) SetCancel(true);
  SetCaption(QString());
  modalResult_ = kKindModalResults[kind];
  glyph_.SetBitmap(PresetGlyph(kind));
  SetNumGlyphs(2);
  glyphModified_ = false;
  kind_ = kind;
  update();
}

void TFlatButton::FitWidthToContent() {
  if (!autoSize_) return;
  QString text = Caption();
  if (text.isEmpty() || text == QStringLiteral("&")) text += QLatin1Char(' ');
  const QFontMetrics fm(font());
  const int textWidth = fm.boundingRect(QRect(0, 0, 0, 0), Qt::TextExpandTabs, text).width();
  resize(glyph_.Bitmap().width() / glyph_.NumGlyphs() + textWidth + 5, height());
}

// ---- clicking ----

bool TFlatButton::SpecialClick() {
  const TBitBtnKind kind = Kind();
  if (kind == bkHelp) {
    for (QWidget* w = this; w; w = w->parentWidget()) {
      const auto* flat = qobject_cast<const TFlatButton*>(w);
      const int context = flat ? flat->helpContext_ : w->property("HelpContext").toInt();
      if (context == 0) continue;
      if (g_helpViewer) g_helpViewer(context);
      return true;
    }
    return false;
  }
  if (kind == bkClose) {
    QWidget* form = window();
    if (form == this) return false;
    form->close();
    return true;
  }
  return false;
}

void TFlatButton::Click() {
  if (!isEnabled()) return;
  if (SpecialClick()) return;
  click();
}

void TFlatButton::ApplyModalResult() {
  if (modalResult_ == 0) return;
  if (auto* dialog = qobject_cast<QDialog*>(window())) dialog->done(modalResult_);
}

// ---- mouse and keyboard ----

void TFlatButton::enterEvent(QEnterEvent* event) {
  QPushButton::enterEvent(event);
  mouseInside_ = true;
  g_hovered = this;
  update();
}

void TFlatButton::leaveEvent(QEvent* event) {
  QPushButton::leaveEvent(event);
  g_hovered = nullptr;
  mouseInside_ = false;
  update();
}

void TFlatButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // A quick second click is a second press, not a double click.
  if (event->button() == Qt::LeftButton) {
    mousePressEvent(event);
    return;
  }
  QPushButton::mouseDoubleClickEvent(event);
}

void TFlatButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && isDown() && hitButton(event->position().toPoint())) {
    const TBitBtnKind kind = Kind();
    if (kind == bkHelp || kind == bkClose) {
      setDown(false);
      if (!SpecialClick()) click();
      event->accept();
      return;
    }
  }
  QPushButton::mouseReleaseEvent(event);
}

void TFlatButton::RepaintWithHovered() {
  if (g_hovered && g_hovered != this) g_hovered->update();
  update();
}

void TFlatButton::NotifyPressedChanged() {
  QAccessible::State changed;
  changed.pressed = true;
  QAccessibleStateChangeEvent event(this, changed);
  QAccessible::updateAccessibility(&event);
}

void TFlatButton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // The platform's dialog key: a focused button clicks.
    if (!event->isAutoRepeat()) Click();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Space && g_spaceReleased) {
    g_spaceReleased = false;
    RepaintWithHovered();
    NotifyPressedChanged();
  }
  // Ignored key presses travel on to the parent widget.
  event->ignore();
}

void TFlatButton::keyReleaseEvent(QKeyEvent* event) {
  event->accept();
  // Auto-repeat sends release/press pairs while a key is held; only the real
  // release counts.
  if (event->isAutoRepeat()) return;
  if (event->key() != Qt::Key_Space || g_spaceReleased) return;
  g_spaceReleased = true;
  RepaintWithHovered();
  NotifyPressedChanged();
  Click();
}

bool TFlatButton::event(QEvent* event) {
  // The caption's mnemonic (Alt+letter) clicks like any other click, kinds included.
  if (event->type() == QEvent::Shortcut) {
    Click();
    return true;
  }
  return QPushButton::event(event);
}

void TFlatButton::changeEvent(QEvent* event) {
  QPushButton::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange) update();
}

// ---- painting ----

void TFlatButton::paintEvent(QPaintEvent* /*event*/) {
  if (!parentWidget()) return;  // a button outside any window paints nothing
  QPainter p(this);
  PaintFace(p);
}

void TFlatButton::PaintFace(QPainter& p) {
  const int w = width(), h = height();
  const bool focused = hasFocus();
  const bool pressed = IsPressed();
  const TButtonGlyph::State state = !isEnabled() ? TButtonGlyph::State::Disabled
                                    : pressed    ? TButtonGlyph::State::Down
                                                 : TButtonGlyph::State::Up;
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setFont(font());

  const PixelRect face{1, 1, w - 2, h - 3};
  if (gradient_) {
    QColor top = gradStart_, bottom = gradEnd_;
    if (mouseInside_ && !pressed) {
      top = gradMouseInStart_;
      bottom = gradMouseInEnd_;
    } else if (pressed) {
      top = gradEnd_;
      bottom = gradStart_;
    }
    Raster::FillGradientBands(p, face, top, static_cast<std::uint8_t>(h % 256), 0, bottom);
  } else {
    Raster::FillRect(p, face, colorButton_);
  }

  Raster::RoundedOutline(p, {0, 0, w - 1, h - 1}, roundedEdge_, colorFrame_);
  if ((mouseInside_ || focused) && (tabStop_ || !focused))
    Raster::RoundedOutline(p, {1, 1, w - 2, h - 2}, roundedEdge_, focused ? defaultFrame_ : activeFrame_);

  if (h >= 4) Raster::Line(p, QPoint(w - 1, 0), QPoint(w - 1, h - 3), shadow_);
  if (w >= 4) Raster::Line(p, QPoint(0, h - 1), QPoint(w - 3, h - 1), shadow_);

  DrawGlyphAndCaption(p, state);

  QRect r = rect();
  if (!subText_.isEmpty()) DrawSubText(p, r, !isEnabled());

  if (focused && tabStop_) {
    const PixelRect all = PixelRect::FromQRect(r);
    Raster::InvertFocusRect(p, {all.left + 2, all.top + 2, all.right - 3, all.bottom - 3});
  }
}

void TFlatButton::DrawGlyphAndCaption(QPainter& p, TButtonGlyph::State state) {
  const QRect client = rect();
  const QString caption = Caption();
  QSize textSize(0, 0);
  if (!caption.isEmpty())
    textSize = p.fontMetrics().boundingRect(QRect(0, 0, client.width(), 0), Qt::TextShowMnemonic, caption).size();
  const QSize glyphSize = glyph_.Bitmap().isNull() ? QSize(0, 0) : glyph_.ImageSize();
  const GlyphTextLayout pos =
      LayoutGlyphAndText(client, glyphSize, textSize, layout_, margin_, spacing_, QPoint(-1, 0));

  glyph_.Draw(p, pos.glyph, state);

  if (state != TButtonGlyph::State::Disabled) {
    p.setPen(fontColor_);
    p.drawText(pos.text, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, caption);
    return;
  }
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic;
  p.setPen(SystemColors::clBtnHighlight);
  p.drawText(pos.text.translated(1, 1), flags, caption);
  p.setPen(SystemColors::clBtnShadow);
  p.drawText(pos.text, flags, caption);
}

void TFlatButton::DrawSubText(QPainter& p, QRect& r, bool disabled) {
  p.save();
  p.setFont(Raster::FontWithCellHeight(QStringLiteral("Arial"), 11));
  const int flags = Qt::AlignRight | Qt::AlignTop | Qt::TextShowMnemonic;
  PixelRect t = PixelRect::FromQRect(r).Moved(-5, 5);
  QColor color = SystemColors::clBlack;
  if (disabled) {
    p.setPen(SystemColors::clBtnHighlight);
    p.drawText(t.ToQRect(), flags, subText_);
    color = SystemColors::clBtnShadow;
  }
  t = t.Moved(-1, -1);
  p.setPen(color);
  p.drawText(t.ToQRect(), flags, subText_);
  t = t.Moved(1, -1);
  const int length = static_cast<int>(subText_.size());
  Raster::RoundedOutline(p, {t.right - 6 * length, t.top + 1, t.right + 2, t.top + 11}, roundedEdge_,
                         disabled ? kSubTextFrameDisabled : SystemColors::clGrayText);
  // The focus rectangle that follows is placed from this moved rectangle.
  r = t.Moved(3, -3).ToQRect();
  p.restore();
}
