// The window's controls: names, texts, positions at 96 dpi, fonts, colours,
// anchoring, tab order, menus, and which handler each event calls.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QValidator>

#include "ui/TAnchors.h"
#include "ui/TFrm_Main.h"
#include "ui/TItemListModel.h"
#include "widgets/PixelFont.h"
#include "widgets/SystemColors.h"
#include "widgets/TFlatButton.h"
#include "widgets/TOwnPageControl.h"
#include "widgets/WindowGlyphs.h"

using namespace SystemColors;

namespace {

const QColor kWindowBlue(0xE1, 0xED, 0xFB);
const QColor kListBackground(0xF5, 0xFA, 0xFE);
const QColor kButtonStart(0xCA, 0xDF, 0xF7);
const QColor kButtonEnd(0x89, 0xB8, 0xEB);
const QColor kActiveFrame(0xF1, 0xAF, 0x76);
const QColor kDefaultFrame(0x37, 0x59, 0x06);

QFont WindowFont() { return PixelFont("MS Sans Serif", 11); }
QFont PageFont() { return PixelFont("Arial", 13, true); }
QFont GroupFont() { return PixelFont("Courier New", 13); }
QFont LabelFont() { return PixelFont("Arial", 12); }
QFont ControlFont() { return PixelFont("Arial", 13); }

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

void SetBackground(QWidget* w, const QColor& c) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, c);
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

template <class T>
T* Place(T* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  return w;
}

QGroupBox* GroupBox(QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h,
                    bool ownColour) {
  auto* g = Place(new QGroupBox(U(caption), parent), name, l, t, w, h);
  g->setFont(GroupFont());
  if (ownColour) SetBackground(g, kWindowBlue);
  return g;
}

QLabel* Label(QWidget* parent, const char* name, const char* text, int l, int t, int w, int h) {
  auto* label = Place(new QLabel(U(text), parent), name, l, t, w, h);
  label->setFont(LabelFont());
  return label;
}

// A status lamp: a raised panel with a centred caption on a colour.
QLabel* Panel(QWidget* parent, const char* name, const char* caption, const QColor& colour, int l, int t, int w,
              int h) {
  auto* panel = Place(new QLabel(U(caption), parent), name, l, t, w, h);
  panel->setAlignment(Qt::AlignCenter);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  SetBackground(panel, colour);
  return panel;
}

QLineEdit* Edit(QWidget* parent, const char* name, int l, int t, int w, int h) {
  return Place(new QLineEdit(parent), name, l, t, w, h);
}

// A read-only, disabled field with a flat border, in the system's grey text
// colour on white: readable at a glance, not the style's faint disabled text.
QLineEdit* ShowField(QWidget* parent, const char* name, int l, int t, int w, int h) {
  QLineEdit* e = Edit(parent, name, l, t, w, h);
  e->setReadOnly(true);
  e->setEnabled(false);
  e->setFrame(false);
  QPalette pal = e->palette();
  pal.setColor(QPalette::Disabled, QPalette::Text, clGrayText);
  pal.setColor(QPalette::Disabled, QPalette::Base, clWhite);
  e->setPalette(pal);
  return e;
}

// The look every flat button of the window shares; `square` for the six
// transport buttons.
TFlatButton* Button(QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h,
                    bool square = false) {
  auto* b = Place(new TFlatButton(parent), name, l, t, w, h);
  b->setFont(ControlFont());
  b->SetCaption(U(caption));
  b->SetGradStyle(gsVertical);
  b->SetGradient(true);
  b->SetGradStartColor(kButtonStart);
  b->SetGradEndColor(kButtonEnd);
  b->SetGradMouseInStartColor(clSkyBlue);
  b->SetGradMouseInEndColor(clSkyBlue);
  b->SetShadowColor(clWhite);
  b->SetActiveFrameColor(kActiveFrame);
  b->SetDefaultFrameColor(kDefaultFrame);
  b->SetColorFrame(clBlack);
  b->SetBevelWidth(1);
  b->SetBevelWidthM(2);
  b->SetBevelWidthDown(1);
  b->SetColorButton(clBtnFace);
  b->SetRoundedEdge(square ? 0 : 6);
  return b;
}

TFlatButton* GlyphButton(QWidget* parent, const char* name, const char* hint, WindowGlyph glyph, int l, int t,
                         bool square) {
  TFlatButton* b = Button(parent, name, "", l, t, 25, 25, square);
  b->SetGlyph(MakeWindowGlyph(glyph));
  b->SetHint(U(hint));
  b->SetShowHint(true);
  return b;
}

QComboBox* Selector(QWidget* parent, const char* name, int l, int t, int w, int h) {
  auto* cb = Place(new QComboBox(parent), name, l, t, w, h);
  cb->setEditable(false);
  cb->setFont(ControlFont());
  return cb;
}

// One character, turned to upper case as it is typed.
class TUpperCaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

}  // namespace

void TFrm_Main::CreateControls() {
  setWindowTitle(U("Vomrella szimulátor"));
  setFont(WindowFont());
  SetBackground(this, kWindowBlue);
  Anchors_ = new TAnchors(this);

  PageControl = new TOwnPageControl(this);
  PageControl->setObjectName(QStringLiteral("PageControl"));
  PageControl->setFont(PageFont());
  PageControl->SetOwnerDraw(true);
  PageControl->SetTabBackground(clSkyBlue);
  PageControl->SetTabColor(clSkyBlue);
  PageControl->SetActiveSheetColor(clMaroon);
  PageControl->SetActiveSheetFontColor(clHotLight);
  PageControl->SetInactiveSheetFontColor(clBlack);
  PageControl->SetActiveSheetBackColor(kWindowBlue);
  PageControl->SetBorderStyle(bsTopOnly);
  PageControl->SetAllowTabChange(true);
  setCentralWidget(PageControl);

  // Pages get their design size (402 x 477) before anything is anchored to
  // them; the page control resizes them later and the anchors follow.
  auto page = [this](const char* name, const char* caption) {
    auto* w = new QWidget;
    w->setObjectName(QString::fromLatin1(name));
    w->resize(402, 477);
    PageControl->addTab(w, U(caption));
    return w;
  };
  Sheet_Osszesit = page("Sheet_Osszesit", " Összeállítás ");
  Sheet_GyorsBill = page("Sheet_GyorsBill", " Gyorsbillentyűk ");
  Sheet_Lejatszas = page("Sheet_Lejatszas", " Lejátszás ");

  // ---- Page 0: composing and the test run
  GB_Osszeallitas = GroupBox(Sheet_Osszesit, "GB_Osszeallitas", " Összeállítás ", 0, 0, 402, 391, true);
  Anchors_->Anchor(GB_Osszeallitas, akLeft | akTop | akRight);
  GB_Teszt = GroupBox(Sheet_Osszesit, "GB_Teszt", " Összeállítás tesztelése ", 0, 398, 401, 77, true);
  Anchors_->Anchor(GB_Teszt, akLeft | akRight | akBottom);

  CB_RogzOsszeall = Selector(GB_Osszeallitas, "CB_RogzOsszeall", 8, 20, 310, 24);
  Anchors_->Anchor(CB_RogzOsszeall, akLeft | akTop | akRight);
  B_Opciok = Button(GB_Osszeallitas, "B_Opciok", "Opciók", 323, 20, 75, 25);
  Anchors_->Anchor(B_Opciok, akTop | akRight);

  VSTModel = new TItemListModel([this](int row, int column) { return VSTGetText(row, column); }, this);
  VST = Place(new QTreeView(GB_Osszeallitas), "VST", 8, 48, 358, 211);
  VST->setModel(VSTModel);
  VST->setRootIsDecorated(false);
  VST->setUniformRowHeights(true);
  VST->setItemsExpandable(false);
  VST->setSelectionBehavior(QAbstractItemView::SelectRows);
  VST->setSelectionMode(QAbstractItemView::SingleSelection);
  VST->setAllColumnsShowFocus(true);
  VST->setEditTriggers(QAbstractItemView::NoEditTriggers);
  VST->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  VST->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  VST->header()->setFont(WindowFont());
  VST->header()->setSectionsMovable(true);
  VST->header()->setSectionResizeMode(QHeaderView::Interactive);
  VST->header()->setStretchLastSection(false);
  for (auto [column, width] : {std::pair{0, 25}, {1, 166}, {2, 70}, {3, 75}}) VST->setColumnWidth(column, width);
  {
    QPalette pal = VST->palette();
    pal.setColor(QPalette::Base, kListBackground);
    VST->setPalette(pal);
  }
  Anchors_->Anchor(VST, akLeft | akTop | akRight | akBottom);

  B_Fel = GlyphButton(GB_Osszeallitas, "B_Fel", "Kijelölt elem feljebb mozgatása", WindowGlyph::UpArrow, 369, 178, false);
  B_Torol = GlyphButton(GB_Osszeallitas, "B_Torol", "Kijelölt elem törlése", WindowGlyph::RedCross, 369, 206, false);
  B_Le = GlyphButton(GB_Osszeallitas, "B_Le", "Kijelölt elem lejjebb mozgatása", WindowGlyph::DownArrow, 369, 234, false);
  for (TFlatButton* b : {B_Fel, B_Torol, B_Le}) Anchors_->Anchor(b, akRight | akBottom);

  GB_Rogzit = GroupBox(GB_Osszeallitas, "GB_Rogzit", " Felvitel ", 8, 268, 386, 115, true);
  Anchors_->Anchor(GB_Rogzit, akLeft | akRight | akBottom);
  Label2 = Label(GB_Rogzit, "Label2", "Fájl neve", 10, 20, 49, 15);
  E_FajlNev = Edit(GB_Rogzit, "E_FajlNev", 10, 36, 259, 24);
  E_Talloz = Button(GB_Rogzit, "E_Talloz", "...", 270, 36, 25, 25);
  E_Talloz->SetHint(U("Tallózás"));
  E_Talloz->SetShowHint(true);
  B_FileStart = GlyphButton(GB_Rogzit, "B_FileStart", "Lejátszás", WindowGlyph::Play, 302, 36, true);
  B_FileStart->SetColorButton(kButtonStart);
  B_FilePause = GlyphButton(GB_Rogzit, "B_FilePause", "Szünet", WindowGlyph::Pause, 326, 36, true);
  B_FileStop = GlyphButton(GB_Rogzit, "B_FileStop", "Állj", WindowGlyph::Stop, 350, 36, true);
  Label4 = Label(GB_Rogzit, "Label4", "Státusz", 13, 68, 40, 15);
  Label3 = Label(GB_Rogzit, "Label3", "Hossz", 112, 68, 35, 15);
  Label1 = Label(GB_Rogzit, "Label1", "Szünet utána", 200, 68, 71, 15);
  Panel_RogzStatus = Panel(GB_Rogzit, "Panel_RogzStatus", "Rendben", clLime, 12, 82, 93, 25);
  E_RogzHossz = ShowField(GB_Rogzit, "E_RogzHossz", 112, 85, 57, 22);
  Label5 = Label(GB_Rogzit, "Label5", "sec", 172, 88, 20, 15);
  E_RogzSzunet = Edit(GB_Rogzit, "E_RogzSzunet", 200, 84, 69, 24);
  E_RogzSzunet->setMaxLength(8);  // a sign and the digits of the longest pause the add takes
  Label6 = Label(GB_Rogzit, "Label6", "ms", 272, 89, 18, 15);
  B_RogzRendben = Button(GB_Rogzit, "B_RogzRendben", "Rendben", 301, 82, 75, 25);

  CB_TestOsszeall = Selector(GB_Teszt, "CB_TestOsszeall", 8, 20, 289, 24);
  B_OsszeallRun = GlyphButton(GB_Teszt, "B_OsszeallRun", "Lejátszás", WindowGlyph::Play, 310, 20, true);
  B_OsszeallPause = GlyphButton(GB_Teszt, "B_OsszeallPause", "Szünet", WindowGlyph::Pause, 334, 20, true);
  B_OsszeallStop = GlyphButton(GB_Teszt, "B_OsszeallStop", "Állj", WindowGlyph::Stop, 358, 20, true);
  Label7 = Label(GB_Teszt, "Label7", "Hossz:", 8, 51, 38, 15);
  E_TestHossz = ShowField(GB_Teszt, "E_TestHossz", 52, 49, 81, 22);
  E_TestHossz->setText(QStringLiteral("0"));
  Label8 = Label(GB_Teszt, "Label8", "sec", 136, 51, 20, 15);
  ProgressBar = Place(new QProgressBar(GB_Teszt), "ProgressBar", 164, 50, 185, 18);
  ProgressBar->setTextVisible(false);
  ProgressBar->hide();
  // Sized for "100%": it grows to the left of its right edge, as a
  // right-aligned label that fits its text does.
  L_Perc = Label(GB_Teszt, "L_Perc", "0%", 352, 51, 32, 15);
  L_Perc->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  L_Perc->hide();

  // ---- Page 1: hotkeys, four rows 28 pixels apart
  GB_HotKey = GroupBox(Sheet_GyorsBill, "GB_HotKey", " Gyorsbillentyűk ", 0, 0, 402, 477, false);
  Anchors_->Anchor(GB_HotKey, akLeft | akTop | akRight | akBottom);
  struct TRow {
    QLabel*& Caption; const char* CaptionName; const char* CaptionText; int CaptionWidth;
    QLabel*& Ctrl; const char* CtrlName;
    QLineEdit*& Key; const char* KeyName;
    TFlatButton*& Toggle; const char* ToggleName;
    QLabel*& State; const char* StateName;
  };
  const TRow rows[] = {
      {Label10, "Label10", "Visszalép:", 56, Label11, "Label11", E_HotPrev, "E_HotPrev", B_HotPrev, "B_HotPrev",
       Panel_HotPrev, "Panel_HotPrev"},
      {Label14, "Label14", "Lejátszás:", 56, Label15, "Label15", E_HotPlay, "E_HotPlay", B_HotPlay, "B_HotPlay",
       Panel_HotPlay, "Panel_HotPlay"},
      {Label16, "Label16", "Szünet:", 40, Label17, "Label17", E_HotPause, "E_HotPause", B_HotPause, "B_HotPause",
       Panel_HotPause, "Panel_HotPause"},
      {Label18, "Label18", "Következő:", 58, Label19, "Label19", E_HotNext, "E_HotNext", B_HotNext, "B_HotNext",
       Panel_HotNext, "Panel_HotNext"},
  };
  int top = 20;
  for (const TRow& row : rows) {
    row.Caption = Label(GB_HotKey, row.CaptionName, row.CaptionText, 10, top + 6, row.CaptionWidth, 15);
    row.Ctrl = Label(GB_HotKey, row.CtrlName, "CTRL+", 78, top + 6, 39, 15);
    row.Key = Edit(GB_HotKey, row.KeyName, 120, top + 1, 25, 24);
    row.Key->setMaxLength(1);
    row.Key->setValidator(new TUpperCaseValidator(row.Key));
    row.Toggle = Button(GB_HotKey, row.ToggleName, "Aktivál", 153, top, 75, 25);
    row.Toggle->setProperty("Tag", 0);
    row.State = Panel(GB_HotKey, row.StateName, "Inaktív", clYellow, 232, top, 93, 25);
    top += 28;
  }

  // ---- Page 2: live playback
  GB_PlayStatus = GroupBox(Sheet_Lejatszas, "GB_PlayStatus", " Lejátszási státusz ", 0, 0, 402, 81, false);
  Anchors_->Anchor(GB_PlayStatus, akLeft | akTop | akRight);
  Label13 = Label(GB_PlayStatus, "Label13", "Következő:", 9, 25, 58, 15);
  E_Akt = ShowField(GB_PlayStatus, "E_Akt", 72, 21, 321, 22);
  Anchors_->Anchor(E_Akt, akLeft | akTop | akRight);
  Label12 = Label(GB_PlayStatus, "Label12", "Utána:", 31, 47, 36, 15);
  E_Next = ShowField(GB_PlayStatus, "E_Next", 72, 45, 321, 22);
  Anchors_->Anchor(E_Next, akLeft | akTop | akRight);
  B_First = Button(Sheet_Lejatszas, "B_First", "Elejére", 173, 86, 75, 25);
  B_Prev = Button(Sheet_Lejatszas, "B_Prev", "Előző", 249, 86, 75, 25);
  B_Next = Button(Sheet_Lejatszas, "B_Next", "Következő", 325, 86, 75, 25);
  for (TFlatButton* b : {B_First, B_Prev, B_Next}) Anchors_->Anchor(b, akTop | akRight);
  L_OnAir = Label(Sheet_Lejatszas, "L_OnAir", "Most nem szól semmi.", 9, 118, 391, 40);
  L_OnAir->setFont(ControlFont());
  L_OnAir->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Anchors_->Anchor(L_OnAir, akLeft | akTop | akRight);

  // Five looks a second at what the device has played.
  Timer = new QTimer(this);
  Timer->setObjectName(QStringLiteral("Timer"));
  Timer->setInterval(200);

  OpenDialog = {U("Fájl keresés"), U("Wav fájlok|*.wav|MP3 fájlok|*.mp3"), QStringLiteral(".")};
  OpenDialog_Open = {U("Fájl megnyitása"), U("Vomrella szimulátor script|*.vrs"), QStringLiteral(".")};
  SaveDialog = {U("Fájl mentése"), U("Vomrella szimulátor script|*.vrs"), QStringLiteral(".")};
}

void TFrm_Main::CreateMenus() {
  MMI_File = menuBar()->addMenu(U("&Fájl"));
  MMI_File->setObjectName(QStringLiteral("MMI_File"));
  auto action = [](QMenu* menu, const char* name, const char* caption) {
    QAction* a = menu->addAction(U(caption));
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  Pop_Open = action(MMI_File, "Pop_Open", "Fájlból &olvas");
  Pop_Save = action(MMI_File, "Pop_Save", "Fájlba &ment");
  N2 = MMI_File->addSeparator();
  MMI_Exit = action(MMI_File, "MMI_Exit", "&Kilépés");
  Pop_Open->setShortcut(QKeySequence::Open);
  Pop_Save->setShortcut(QKeySequence::Save);
  MMI_Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  // F10 opens the menu, as on other desktops.
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
  f10->setObjectName(QStringLiteral("MenuKey"));
  connect(f10, &QShortcut::activated, this, [this] {
    menuBar()->setActiveAction(MMI_File->menuAction());
  });

  Popup_Opciok = new QMenu(this);
  Popup_Opciok->setObjectName(QStringLiteral("Popup_Opciok"));
  Pop_Uj = action(Popup_Opciok, "Pop_Uj", "Ú&j");
  Pop_Atnevez = action(Popup_Opciok, "Pop_Atnevez", "Át&nevezés");
  Pop_Torol = action(Popup_Opciok, "Pop_Torol", "&Törlés");
  N1 = Popup_Opciok->addSeparator();
  Pop_Fel = action(Popup_Opciok, "Pop_Fel", "&Feljebb");
  Pop_Le = action(Popup_Opciok, "Pop_Le", "&Lejjebb");
}

void TFrm_Main::SetAccessibility() {
  // Fields are named by their labels (the buddy); a label's "&" letter with
  // Alt moves to its field. Labels of fields that take no focus keep their
  // text as it is.
  const std::pair<QLabel*, QWidget*> buddies[] = {
      {Label2, E_FajlNev},    {Label1, E_RogzSzunet}, {Label3, E_RogzHossz}, {Label7, E_TestHossz},
      {Label10, E_HotPrev},   {Label14, E_HotPlay},   {Label16, E_HotPause}, {Label18, E_HotNext},
      {Label13, E_Akt},       {Label12, E_Next}};
  for (const auto& [label, field] : buddies) label->setBuddy(field);
  const std::pair<QLabel*, const char*> mnemonics[] = {{Label2, "Fájl &neve"},     {Label1, "Szünet &utána"},
                                                       {Label10, "&Visszalép:"},   {Label14, "&Lejátszás:"},
                                                       {Label16, "&Szünet:"},      {Label18, "&Következő:"}};
  for (const auto& [label, text] : mnemonics) label->setText(U(text));

  // What each control without a label of its own does; the glyph buttons
  // of the two rows each say whose playback they drive.
  const std::pair<QWidget*, const char*> names[] = {
      {PageControl, "Az ablak lapjai"},
      {CB_RogzOsszeall, "Szerkesztett összeállítás"},
      {VST, "Az összeállítás elemei"},
      {E_Talloz, "Tallózás"},
      {B_FileStart, "Fájl lejátszása"},
      {B_FilePause, "Fájl lejátszásának szüneteltetése"},
      {B_FileStop, "Fájl lejátszásának leállítása"},
      {CB_TestOsszeall, "Tesztelendő összeállítás"},
      {B_OsszeallRun, "Összeállítás lejátszása"},
      {B_OsszeallPause, "Összeállítás lejátszásának szüneteltetése"},
      {B_OsszeallStop, "Összeállítás lejátszásának leállítása"},
      {ProgressBar, "A próba haladása"},
  };
  for (const auto& [control, name] : names) control->setAccessibleName(U(name));
  // A status lamp's name is its state ("Aktív"); the description says whose.
  const std::pair<QLabel*, const char*> lamps[] = {{Panel_RogzStatus, "A felvitel státusza"},
                                                   {Panel_HotPrev, "A Visszalép gyorsbillentyű állapota"},
                                                   {Panel_HotPlay, "A Lejátszás gyorsbillentyű állapota"},
                                                   {Panel_HotPause, "A Szünet gyorsbillentyű állapota"},
                                                   {Panel_HotNext, "A Következő gyorsbillentyű állapota"}};
  for (const auto& [lamp, description] : lamps) lamp->setAccessibleDescription(U(description));
  // The four "Aktivál" buttons are told apart by their row.
  const std::pair<TFlatButton*, const char*> toggles[] = {
      {B_HotPrev, "Visszalép gyorsbillentyű be- és kikapcsolása"},
      {B_HotPlay, "Lejátszás gyorsbillentyű be- és kikapcsolása"},
      {B_HotPause, "Szünet gyorsbillentyű be- és kikapcsolása"},
      {B_HotNext, "Következő gyorsbillentyű be- és kikapcsolása"}};
  for (const auto& [toggle, description] : toggles) toggle->setAccessibleDescription(U(description));
}

void TFrm_Main::SetTabOrder() {
  // Qt skips controls that take no focus (panels, disabled fields), as the
  // platform's tab order does.
  const QWidget* const order[] = {
      PageControl,   CB_RogzOsszeall, B_Opciok,        VST,          B_Fel,           B_Torol,
      B_Le,          E_FajlNev,       E_Talloz,        B_FileStart,  B_FilePause,     B_FileStop,
      E_RogzHossz,   E_RogzSzunet,    B_RogzRendben,   CB_TestOsszeall, B_OsszeallRun, B_OsszeallPause,
      B_OsszeallStop, E_TestHossz,    ProgressBar,     E_HotPrev,    B_HotPrev,       E_HotPlay,
      B_HotPlay,     E_HotPause,      B_HotPause,      E_HotNext,    B_HotNext,       E_Akt,
      E_Next,        B_First,         B_Prev,          B_Next,
  };
  for (size_t i = 1; i < std::size(order); ++i)
    QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

void TFrm_Main::ConnectEvents() {
  connect(CB_RogzOsszeall, &QComboBox::activated, this, Guarded([this] { CB_RogzOsszeallSelect(); }));
  connect(CB_TestOsszeall, &QComboBox::activated, this, Guarded([this] { CB_TestOsszeallSelect(); }));
  connect(B_Opciok, &QPushButton::clicked, this, Guarded([this] { B_OpciokClick(); }));
  connect(Popup_Opciok, &QMenu::aboutToShow, this, Guarded([this] { Popup_OpciokPopup(); }));
  connect(Pop_Uj, &QAction::triggered, this, Guarded([this] { Pop_UjClick(); }));
  connect(Pop_Atnevez, &QAction::triggered, this, Guarded([this] { Pop_AtnevezClick(); }));
  connect(Pop_Torol, &QAction::triggered, this, Guarded([this] { Pop_TorolClick(); }));
  connect(Pop_Fel, &QAction::triggered, this, Guarded([this] { Pop_FelClick(); }));
  connect(Pop_Le, &QAction::triggered, this, Guarded([this] { Pop_LeClick(); }));
  connect(B_Fel, &QPushButton::clicked, this, Guarded([this] { B_FelClick(); }));
  connect(B_Le, &QPushButton::clicked, this, Guarded([this] { B_LeClick(); }));
  connect(B_Torol, &QPushButton::clicked, this, Guarded([this] { B_TorolClick(); }));
  connect(E_FajlNev, &QLineEdit::textChanged, this, Guarded([this] { E_FajlNevChange(); }));
  connect(E_Talloz, &QPushButton::clicked, this, Guarded([this] { E_TallozClick(); }));
  connect(B_RogzRendben, &QPushButton::clicked, this, Guarded([this] { B_RogzRendbenClick(); }));

  connect(B_FileStart, &QPushButton::clicked, this, Guarded([this] { B_FileStartClick(); }));
  connect(B_FilePause, &QPushButton::clicked, this, Guarded([this] { B_FilePauseClick(); }));
  connect(B_FileStop, &QPushButton::clicked, this, Guarded([this] { B_FileStopClick(); }));
  connect(B_OsszeallRun, &QPushButton::clicked, this, Guarded([this] { B_OsszeallRunClick(); }));
  connect(B_OsszeallPause, &QPushButton::clicked, this, Guarded([this] { B_FilePauseClick(); }));
  connect(B_OsszeallStop, &QPushButton::clicked, this, Guarded([this] { B_FileStopClick(); }));
  connect(Timer, &QTimer::timeout, this, Guarded([this] { TimerTimer(); }));

  connect(B_HotPrev, &QPushButton::clicked, this, Guarded([this] { B_HotPrevClick(); }));
  connect(B_HotPlay, &QPushButton::clicked, this, Guarded([this] { B_HotPlayClick(); }));
  connect(B_HotPause, &QPushButton::clicked, this, Guarded([this] { B_HotPauseClick(); }));
  connect(B_HotNext, &QPushButton::clicked, this, Guarded([this] { B_HotNextClick(); }));

  connect(B_First, &QPushButton::clicked, this, Guarded([this] { B_FirstClick(); }));
  connect(B_Prev, &QPushButton::clicked, this, Guarded([this] { B_PrevClick(); }));
  connect(B_Next, &QPushButton::clicked, this, Guarded([this] { B_NextClick(); }));

  connect(Pop_Open, &QAction::triggered, this, Guarded([this] { Pop_OpenClick(); }));
  connect(Pop_Save, &QAction::triggered, this, Guarded([this] { Pop_SaveClick(); }));
  connect(MMI_Exit, &QAction::triggered, this, Guarded([this] { MMI_ExitClick(); }));
}
