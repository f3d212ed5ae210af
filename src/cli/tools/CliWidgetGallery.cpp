// vomrella --widget-gallery OUT.png: renders every look of the flat button and
// the main window's page control into one picture, for review by eye.

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPainter>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cli/TCommandArgs.h"
#include "cli/tools/DeveloperTools.h"
#include "widgets/PixelFont.h"
#include "widgets/TFlatButton.h"
#include "widgets/TOwnPageControl.h"
#include "widgets/WindowGlyphs.h"

namespace {

const QColor kWindowBlue(0xE1, 0xED, 0xFB);
const QColor kSkyBlue(0xA6, 0xCA, 0xF0);

// A sample to render: built on the canvas, optionally focused when grabbed.
struct Sample {
  TFlatButton* widget;
  bool focused;
  bool hovered;
};

class Gallery {
 public:
  Gallery() {
    canvas_.resize(560, 560);
    QPalette pal = canvas_.palette();
    pal.setColor(QPalette::Window, kWindowBlue);
    canvas_.setPalette(pal);
    canvas_.setAutoFillBackground(true);
    canvas_.setFont(PixelFont("MS Sans Serif", 11));
  }

  void Heading(int y, const QString& text) {
    auto* label = new QLabel(text, &canvas_);
    label->setFont(PixelFont("Arial", 13, true));
    label->move(10, y);
  }

  void Caption(QWidget* under, const QString& text) {
    auto* label = new QLabel(text, &canvas_);
    label->setFont(PixelFont("Arial", 10));
    label->adjustSize();
    label->move(under->x() + (under->width() - label->width()) / 2, under->y() + under->height() + 3);
  }

  TFlatButton* Button(int x, int y, int w, int h, const QString& caption, const QString& label,
                      std::function<void(TFlatButton*)> setup = {}, bool focused = false, bool hovered = false) {
    auto* b = new TFlatButton(&canvas_);
    b->setGeometry(x, y, w, h);
    b->setFont(PixelFont("Arial", 13));
    b->SetCaption(caption);
    if (setup) setup(b);
    samples_.push_back({b, focused, hovered});
    if (!label.isEmpty()) Caption(b, label);
    return b;
  }

  void AddButtonStates() {
    Heading(8, "Gombok (75 x 25)");
    const QString text = QString::fromUtf8("Rendben");
    int x = 10;
    const int y = 30, step = 85;
    Button(x, y, 75, 25, text, QString::fromUtf8("normál"));
    Button(x += step, y, 75, 25, text, QString::fromUtf8("egér felett"), {}, false, true);
    Button(x += step, y, 75, 25, text, "lenyomva", [](TFlatButton* b) { b->setDown(true); });
    Button(x += step, y, 75, 25, text, QString::fromUtf8("fókusz"), {}, true);
    Button(x += step, y, 75, 25, text, QString::fromUtf8("fókusz + egér"), {}, true, true);
    Button(x += step, y, 75, 25, text, "tiltva", [](TFlatButton* b) { b->setEnabled(false); });

    x = 10;
    const int y2 = 80;
    Button(x, y2, 75, 25, text, QString::fromUtf8("TabStop ki, fókusz"), [](TFlatButton* b) { b->SetTabStop(false); },
           true);
    Button(x += step, y2, 75, 25, text, "sima lap", [](TFlatButton* b) { b->SetGradient(false); });
    Button(x += step, y2, 75, 25, QString::fromUtf8("Opciók"), "al-szöveg", [](TFlatButton* b) { b->SetSubText("F2"); });
    Button(x += step, y2, 75, 25, QString::fromUtf8("Opciók"), "al-szöveg, tiltva", [](TFlatButton* b) {
      b->SetSubText("F2");
      b->setEnabled(false);
    });
    Button(x += step, y2, 75, 25, "OK", "bkOK", [](TFlatButton* b) {
      b->SetKind(bkOK);
      b->SetCaption("OK");
    });
    Button(x += step, y2, 75, 25, "OK", "bkOK, tiltva", [](TFlatButton* b) {
      b->SetKind(bkOK);
      b->SetCaption("OK");
      b->setEnabled(false);
    });
  }

  void AddGlyphButtons() {
    Heading(130, QString::fromUtf8("Ablak gombjai (25 x 25) és képek"));
    struct G {
      WindowGlyph glyph;
      bool square;
      const char* label;
    };
    const G glyphs[] = {{WindowGlyph::Play, true, "play"},       {WindowGlyph::Pause, true, "pause"},
                        {WindowGlyph::Stop, true, "stop"},       {WindowGlyph::UpArrow, false, "fel"},
                        {WindowGlyph::RedCross, false, "törlés"}, {WindowGlyph::DownArrow, false, "le"}};
    int x = 10;
    for (bool disabled : {false, true}) {
      const int y = disabled ? 200 : 152;
      x = 10;
      for (const G& g : glyphs) {
        Button(x, y, 25, 25, QString(), QString::fromUtf8(g.label), [g, disabled](TFlatButton* b) {
          b->SetGlyph(MakeWindowGlyph(g.glyph));
          if (g.square) b->SetRoundedEdge(0);
          if (g.glyph == WindowGlyph::Play) b->SetColorButton(QColor(0xCA, 0xDF, 0xF7));
          b->setEnabled(!disabled);
        });
        x += 45;
      }
    }
    x = 10 + 6 * 45;
    Caption(Button(x, 152, 25, 25, "...", QString()), "");
    auto* dots = new QLabel(QString::fromUtf8("tallózás"), &canvas_);
    dots->setFont(PixelFont("Arial", 10));
    dots->move(x - 6, 180);
    auto* note = new QLabel(QString::fromUtf8("tiltva: a play eltűnik, a nyíl domború"), &canvas_);
    note->setFont(PixelFont("Arial", 10));
    note->move(x + 40, 206);

    // Two-image strip: the second image is the disabled look.
    QImage strip(32, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter p(&strip);
    p.fillRect(QRect(3, 3, 10, 10), QColor(0x00, 0x00, 0xFF));
    p.fillRect(QRect(19, 3, 10, 10), QColor(0x80, 0x80, 0x80));
    p.end();
    const int y3 = 250;
    Button(10, y3, 110, 25, "Kép + szöveg", "két kép", [strip](TFlatButton* b) { b->SetGlyph(strip); });
    Button(130, y3, 110, 25, "Kép + szöveg", "két kép, tiltva", [strip](TFlatButton* b) {
      b->SetGlyph(strip);
      b->setEnabled(false);
    });
    Button(260, y3, 60, 40, "Fent", "kép fent", [](TFlatButton* b) {
      b->SetGlyph(MakeWindowGlyph(WindowGlyph::Play));
      b->SetLayout(blGlyphTop);
    });
    Button(340, y3, 75, 25, QString::fromUtf8("Következő"), "AutoSize", [](TFlatButton* b) { b->SetAutoSize(true); });
  }

  void AddPageControls() {
    Heading(310, QString::fromUtf8("Lapfülek (az ablaké, majd tiltott lapváltással, súgó-jelvénnyel, bsFull)"));
    auto makeControl = [this](int y, int h) {
      auto* pc = new TOwnPageControl(&canvas_);
      pc->setGeometry(10, y, 410, h);
      pc->setFont(PixelFont("Arial", 13, true));
      pc->SetOwnerDraw(true);
      pc->SetTabBackground(kSkyBlue);
      pc->SetTabColor(kSkyBlue);
      pc->SetActiveSheetColor(QColor(0x80, 0x00, 0x00));
      pc->SetActiveSheetFontColor(QColor(0x00, 0x66, 0xCC));
      pc->SetInactiveSheetFontColor(Qt::black);
      pc->SetActiveSheetBackColor(kWindowBlue);
      for (const char* caption : {" Összeállítás ", " Gyorsbillentyűk ", " Lejátszás "})
        pc->addTab(new QWidget, QString::fromUtf8(caption));
      return pc;
    };
    makeControl(332, 110);
    auto* second = makeControl(452, 100);
    second->SetAllowTabChange(false);
    second->SetBorderStyle(bsFull);
    second->setTabToolTip(2, "F3");
    second->setCurrentIndex(1);
  }

  bool Save(const QString& path) {
    canvas_.show();
    canvas_.activateWindow();
    QApplication::processEvents();
    // Activation focuses the first button; only the focus samples show focus.
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    QApplication::processEvents();
    // Hover is sent after the window settled, so that no leave event undoes it.
    for (const Sample& s : samples_)
      if (s.hovered) Hover(s.widget);
    QImage image = canvas_.grab().toImage();
    QPainter p(&image);
    for (const Sample& s : samples_) {
      if (!s.focused) continue;
      s.widget->setFocus();
      QApplication::processEvents();
      if (s.hovered) Hover(s.widget);
      p.drawPixmap(s.widget->pos(), s.widget->grab());
      s.widget->clearFocus();
    }
    p.end();
    return image.save(path, "PNG");
  }

 private:
  static void Hover(TFlatButton* b) {
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(b, &enter);
  }

  QWidget canvas_;
  std::vector<Sample> samples_;
};

int RunWidgetGallery(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  if (!parsed.Parse(args, 1, 1)) {
    std::fprintf(stderr, "Használat: vomrella --widget-gallery KIMENET.png\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "vomrella";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  const QString out = QString::fromUtf8(parsed.Operands()[0].c_str());
  bool saved = false;
  {
    Gallery gallery;
    gallery.AddButtonStates();
    gallery.AddGlyphButtons();
    gallery.AddPageControls();
    saved = gallery.Save(out);
  }
  if (!saved) {
    std::fprintf(stderr, "vomrella: %s: a kép nem írható\n", out.toLocal8Bit().constData());
    return 1;
  }
  return 0;
}

}  // namespace

const CliCommand kWidgetGalleryCommand{
    "--widget-gallery", "KIMENET.png",
    "a gombok minden állapota és az ablak lapfülei egy PNG képen, átnézésre",
    &RunWidgetGallery
};
