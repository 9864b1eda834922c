#include "app/mainwindow.h"
#include "app/contactlist.h"

#include "card/cardlabel.h"
#include "card/cardmodel.h"
#include "card/cardoutput.h"
#include "card/cardpanel.h"
#include "card/cardtext.h"
#include "card/image.h"
#include "card/pictureloader.h"
#include "card/qrpicture.h"
#include "card/sheet.h"
#include "contact/vcard.h"
#include "platform/dialogs.h"
#include "platform/fileio.h"
#include "platform/fonts.h"
#include "platform/platform.h"
#include "platform/windowplacement.h"
#include "report/export.h"
#include "report/report.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QToolButton>

#include <limits>

bool vcardgerado = false;

namespace {

using lumo::akBottom;
using lumo::akLeft;
using lumo::akRight;
using lumo::akTop;

constexpr lumo::Anchors kStretch = akLeft | akTop | akRight;
constexpr lumo::Anchors kRight = akTop | akRight;
constexpr lumo::Anchors kAll = akLeft | akTop | akRight | akBottom;
constexpr lumo::Anchors kTopLeft = akLeft | akTop;

QFont uiFont(int pixelSize) {
    QFont font(QStringLiteral("Segoe UI"));
    font.setPixelSize(pixelSize);
    return font;
}

// A 24 × 24 glyph whose white pixels are see-through.
QPixmap glyph(const QString& name) {
    QPixmap pixmap(QStringLiteral(":/glyphs/%1.png").arg(name));
    if (!pixmap.isNull())
        pixmap.setMask(pixmap.createMaskFromColor(Qt::white));
    return pixmap;
}

QToolButton* speedButton(QWidget* parent, const QString& name, const QString& glyphName) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(false);
    button->setIconSize(QSize(24, 24));
    if (!glyphName.isEmpty())
        button->setIcon(QIcon(glyph(glyphName)));
    return button;
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent), FModel(std::make_unique<lumo::CardModel>()),
      FFormAnchors(QSize(kDesignWidth, kDesignHeight)), FNomeAnchors(QSize(475, 139)),
      FContatoAnchors(QSize(475, 137)), FEnderecoAnchors(QSize(475, 197)), FFooterAnchors(QSize(1066, 41)) {
    setObjectName(QStringLiteral("Form1"));
    lumo::installFontSubstitutes();
    setWindowTitle(QStringLiteral("Lumo Card"));
    setFont(uiFont(11));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    buildMenu();
    resize(kDesignWidth, kDesignHeight + menuHeight());

    FImageList1 = {glyph(QStringLiteral("check")), glyph(QStringLiteral("refresh"))};

    buildContactForm();
    buildFooter();
    buildPreview();
    buildButtons();
    buildComponents();
    connectHandlers();
    showModel();

    lumo::runGuarded(this, [this] { FormCreate(); });
}

TForm1::~TForm1() = default;

// ---------------------------------------------------------------------------------------
// Construction

void TForm1::buildContactForm() {
    const QFont boxFont = uiFont(16);
    auto panel = [&](const QString& name, const QString& bevelName, QRect place, lumo::AnchorSet& anchors,
                     QFrame*& bevel) {
        auto* p = new QFrame(this);
        p->setObjectName(name);
        p->setFrameShape(QFrame::NoFrame);
        FFormAnchors.add(p, place, kStretch);
        bevel = new QFrame(p);
        bevel->setObjectName(bevelName);
        bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
        anchors.add(bevel, QRect(QPoint(0, 0), place.size()), kAll);
        return p;
    };
    auto label = [&](QWidget* parent, lumo::AnchorSet& anchors, const QString& name, const QString& caption,
                     QPoint at, lumo::Anchors a = kTopLeft) {
        auto* l = new QLabel(caption, parent);
        l->setObjectName(name);
        l->setFont(boxFont);
        anchors.add(l, QRect(at, QSize(std::max(40, l->sizeHint().width()), 21)), a);
        return l;
    };
    auto edit = [&](QWidget* parent, lumo::AnchorSet& anchors, const QString& name, QRect place,
                    lumo::Anchors a = kTopLeft) {
        auto* e = new QLineEdit(parent);
        e->setObjectName(name);
        // No length limit beyond Qt's own.
        e->setMaxLength(std::numeric_limits<int>::max());
        e->setFont(boxFont);
        anchors.add(e, place, a);
        e->installEventFilter(this);
        return e;
    };

    painelnome = panel(QStringLiteral("painelnome"), QStringLiteral("Bevel5"), QRect(8, 19, 475, 139),
                       FNomeAnchors, Bevel5);
    Label4 = label(painelnome, FNomeAnchors, QStringLiteral("Label4"), QStringLiteral("Nome"), {14, 8});
    Label3 = label(painelnome, FNomeAnchors, QStringLiteral("Label3"), QStringLiteral("Sobrenome"), {248, 8});
    Label10 = label(painelnome, FNomeAnchors, QStringLiteral("Label10"), QStringLiteral("Sufixo"), {14, 70});
    edtnome = edit(painelnome, FNomeAnchors, QStringLiteral("edtnome"), {14, 35, 210, 29});
    edtsobrenome = edit(painelnome, FNomeAnchors, QStringLiteral("edtsobrenome"), {248, 35, 210, 29});
    edtsufixo = edit(painelnome, FNomeAnchors, QStringLiteral("edtsufixo"), {14, 97, 444, 29}, kStretch);

    painelcontato = panel(QStringLiteral("painelcontato"), QStringLiteral("Bevel4"), QRect(8, 176, 475, 137),
                          FContatoAnchors, Bevel4);
    Label2 = label(painelcontato, FContatoAnchors, QStringLiteral("Label2"), QStringLiteral("Fixo"), {14, 7});
    Label1 =
        label(painelcontato, FContatoAnchors, QStringLiteral("Label1"), QStringLiteral("Celular"), {248, 7});
    Label5 =
        label(painelcontato, FContatoAnchors, QStringLiteral("Label5"), QStringLiteral("Site"), {14, 69});
    Label12 =
        label(painelcontato, FContatoAnchors, QStringLiteral("Label12"), QStringLiteral("E-mail"), {248, 69});
    edtfixo = edit(painelcontato, FContatoAnchors, QStringLiteral("edtfixo"), {14, 34, 210, 29});
    edtcelular = edit(painelcontato, FContatoAnchors, QStringLiteral("edtcelular"), {248, 34, 210, 29});
    edtsite = edit(painelcontato, FContatoAnchors, QStringLiteral("edtsite"), {14, 96, 210, 29});
    edtemail = edit(painelcontato, FContatoAnchors, QStringLiteral("edtemail"), {248, 96, 210, 29});

    painelendereco = panel(QStringLiteral("painelendereco"), QStringLiteral("Bevel3"),
                           QRect(8, 332, 475, 197), FEnderecoAnchors, Bevel3);
    auto& ea = FEnderecoAnchors;
    Label6 = label(painelendereco, ea, QStringLiteral("Label6"), QStringLiteral("Rua"), {14, 5});
    Label7 = label(painelendereco, ea, QStringLiteral("Label7"), QStringLiteral("Número"), {353, 5}, kRight);
    Label8 = label(painelendereco, ea, QStringLiteral("Label8"), QStringLiteral("Bairro"), {14, 67});
    Label9 = label(painelendereco, ea, QStringLiteral("Label9"), QStringLiteral("Cidade"), {248, 67});
    Estado = label(painelendereco, ea, QStringLiteral("Estado"), QStringLiteral("Estado"), {14, 129});
    Label11 = label(painelendereco, ea, QStringLiteral("Label11"), QStringLiteral("CEP"), {248, 129});
    edtrua = edit(painelendereco, ea, QStringLiteral("edtrua"), {14, 32, 315, 29});
    edtnumero = edit(painelendereco, ea, QStringLiteral("edtnumero"), {353, 32, 105, 29}, kRight);
    edtbairro = edit(painelendereco, ea, QStringLiteral("edtbairro"), {14, 94, 211, 29});
    edtcidade = edit(painelendereco, ea, QStringLiteral("edtcidade"), {248, 94, 210, 29});
    edtestado = edit(painelendereco, ea, QStringLiteral("edtestado"), {14, 156, 210, 29});
    edtcep = edit(painelendereco, ea, QStringLiteral("edtcep"), {248, 156, 210, 29});

    // Each box is announced by its label.
    const std::pair<QLabel*, QLineEdit*> labelled[] = {
        {Label4, edtnome},    {Label3, edtsobrenome}, {Label10, edtsufixo}, {Label2, edtfixo},
        {Label1, edtcelular}, {Label5, edtsite},      {Label12, edtemail},  {Label6, edtrua},
        {Label7, edtnumero},  {Label8, edtbairro},    {Label9, edtcidade},  {Estado, edtestado},
        {Label11, edtcep},
    };
    for (const auto& [label, box] : labelled) {
        label->setBuddy(box);
        box->setAccessibleName(label->text());
    }
}

void TForm1::buildFooter() {
    painelfooter = new QFrame(this);
    painelfooter->setObjectName(QStringLiteral("painelfooter"));
    FFormAnchors.add(painelfooter, QRect(8, 540, 1066, 41), kAll);
    Bevel1 = new QFrame(painelfooter);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    FFooterAnchors.add(Bevel1, QRect(0, 0, 1066, 41), kAll);
    memovcard = new QPlainTextEdit(painelfooter);
    memovcard->setObjectName(QStringLiteral("memovcard"));
    memovcard->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memovcard->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memovcard->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memovcard->setTabChangesFocus(true);
    FFooterAnchors.add(memovcard, QRect(0, 0, 1066, 41), kAll);
}

void TForm1::buildPreview() {
    using lumo::Placement;
    painelfrente = new lumo::TCardPanel(QStringLiteral("painelfrente"), this);
    FFormAnchors.add(painelfrente, QRect(496, 47, 273, 436), kRight);
    auto image = [](QWidget* panel, const QString& name, QRect place, Placement placement) {
        auto* i = new lumo::TImage(name, placement, panel);
        i->setGeometry(place);
        return i;
    };
    pbackground = image(painelfrente, QStringLiteral("pbackground"), {0, 0, 273, 436}, Placement::Fill);
    Image3 = image(painelfrente, QStringLiteral("Image3"), {0, 0, 273, 436}, Placement::Fit);
    Image3->SetPicture(QImage(QStringLiteral(":/pictures/card_frame.png")));
    Image4 = image(painelfrente, QStringLiteral("Image4"), {22, 185, 228, 228}, Placement::Fit);
    Image4->SetPicture(QImage(QStringLiteral(":/pictures/qr_plate.png")));
    Image1 = image(painelfrente, QStringLiteral("Image1"), {36, 199, 200, 200}, Placement::ShrinkOnly);

    picone = new lumo::TCardLabel(QStringLiteral("picone"), Qt::AlignVCenter, painelfrente);
    picone->setGeometry(22, 19, 228, 52);
    QFont icon(QStringLiteral("icomoon"));
    icon.setPixelSize(32);
    picone->setFont(icon);
    picone->SetCaption(QString(QChar(0xE900)));
    picone->hide();
    // The name and suffix are drawn by the card page's own text objects, scaled to the
    // preview, so that screen and paper fit and break them alike.
    const std::unique_ptr<report::TReport> card = lumo::makeCardDocument(false);
    const double pageScale =
        273 / card->Find<report::TReportPage>(QStringLiteral("frente"))->UnitRect().width();
    pnome = new lumo::TCardLabel(QStringLiteral("pnome"), Qt::AlignTop, painelfrente);
    pnome->SetPageText(*card->Find<report::TMemoView>(QStringLiteral("rnome")), pageScale);
    psufixo = new lumo::TCardLabel(QStringLiteral("psufixo"), Qt::AlignTop, painelfrente);
    psufixo->SetPageText(*card->Find<report::TMemoView>(QStringLiteral("rsufixo")), pageScale);
    // In the margin below the QR plate: no card element lies there.
    avisocorte = new QLabel(painelfrente);
    avisocorte->setObjectName(QStringLiteral("avisocorte"));
    avisocorte->setGeometry(10, 415, 253, 17);
    avisocorte->setAlignment(Qt::AlignCenter);
    avisocorte->setStyleSheet(
        QStringLiteral("color: #a00000; background: #fff3c0; border-radius: 3px; font-size: 11px;"));
    avisocorte->hide();

    painelverso = new lumo::TCardPanel(QStringLiteral("painelverso"), this);
    FFormAnchors.add(painelverso, QRect(792, 47, 273, 436), kRight);
    pbackgroundfundo =
        image(painelverso, QStringLiteral("pbackgroundfundo"), {0, 0, 273, 436}, Placement::Fill);
    pbackgroundfundop =
        image(painelverso, QStringLiteral("pbackgroundfundop"), {0, 0, 273, 436}, Placement::Fill);
    pbackgroundfundop->SetPicture(QImage(QStringLiteral(":/pictures/card_frame.png")));
    plogo = image(painelverso, QStringLiteral("plogo"), {23, 23, 228, 390}, Placement::Fit);

    Image2 = new lumo::TImage(QStringLiteral("Image2"), Placement::Fill, this);
    Image2->setGeometry(-1990, -1987, 2000, 2000);
    Image2->hide();
}

void TForm1::buildButtons() {
    auto button = [&](const QString& name, const QString& glyphName, QRect place) {
        auto* b = speedButton(this, name, glyphName);
        FFormAnchors.add(b, place, kRight);
        return b;
    };
    auto check = [&](const QString& name, const QString& caption, QRect place, bool checked) {
        auto* c = new QCheckBox(caption, this);
        c->setObjectName(name);
        c->setChecked(checked);
        FFormAnchors.add(c, place, kRight);
        return c;
    };
    SpeedButton7 = button(QStringLiteral("SpeedButton7"), QStringLiteral("colorwheel"), {524, 8, 33, 33});
    SpeedButton6 = button(QStringLiteral("SpeedButton6"), QStringLiteral("textcolor"), {563, 8, 33, 33});
    SpeedButton8 = button(QStringLiteral("SpeedButton8"), QStringLiteral("picture"), {602, 8, 33, 33});
    CheckBox3 = check(QStringLiteral("CheckBox3"), QStringLiteral("NFC"), {641, 8, 42, 33}, false);
    sangria = check(QStringLiteral("sangria"), QStringLiteral("sangria"), {689, 8, 57, 33}, false);
    SpeedButton10 = button(QStringLiteral("SpeedButton10"), QStringLiteral("colorwheel"), {878, 8, 33, 33});
    SpeedButton9 = button(QStringLiteral("SpeedButton9"), QStringLiteral("picture"), {917, 8, 33, 33});
    SpeedButton11 = button(QStringLiteral("SpeedButton11"), QStringLiteral("logo"), {956, 8, 33, 33});
    SpeedButton3 = button(QStringLiteral("SpeedButton3"), QStringLiteral("info"), {1039, 8, 35, 33});

    // A push button centres its caption and glyph together; mirrored, the glyph stands at
    // the right of the caption.
    gerarvcard = new QPushButton(QStringLiteral("Gerar "), this);
    gerarvcard->setObjectName(QStringLiteral("gerarvcard"));
    gerarvcard->setFocusPolicy(Qt::NoFocus);
    gerarvcard->setIconSize(QSize(24, 24));
    gerarvcard->setLayoutDirection(Qt::RightToLeft);
    FFormAnchors.add(gerarvcard, QRect(496, 491, 282, 38), kRight);
    SpeedButton12 = button(QStringLiteral("SpeedButton12"), QStringLiteral("save"), {793, 491, 38, 38});
    SpeedButton1 = button(QStringLiteral("SpeedButton1"), QStringLiteral("copy"), {837, 491, 38, 38});
    CheckBox1 = check(QStringLiteral("CheckBox1"), QStringLiteral("Frente"), {883, 491, 58, 19}, true);
    CheckBox2 = check(QStringLiteral("CheckBox2"), QStringLiteral("Verso"), {883, 512, 58, 17}, false);
    SpeedButton4 = button(QStringLiteral("SpeedButton4"), QStringLiteral("jpeg"), {947, 489, 38, 38});
    SpeedButton5 = button(QStringLiteral("SpeedButton5"), QStringLiteral("pdf"), {991, 491, 38, 38});
    SpeedButton2 = button(QStringLiteral("SpeedButton2"), QStringLiteral("print"), {1035, 491, 38, 38});

    // Tab order of the window's direct children; the speed buttons take no focus.
    const QList<QWidget*> chain = {CheckBox1, CheckBox2,    edtrua,    edtnumero,  edtbairro, edtcidade,
                                   edtestado, edtcep,       edtfixo,   edtcelular, edtsite,   edtemail,
                                   edtnome,   edtsobrenome, edtsufixo, memovcard,  CheckBox3, sangria};
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        setTabOrder(chain[i], chain[i + 1]);

    // The glyph-only buttons say what they do, to the pointer and to screen readers.
    const std::pair<QToolButton*, const char*> names[] = {
        {SpeedButton7, "Cor da frente"},
        {SpeedButton6, "Cor do texto"},
        {SpeedButton8, "Imagem da frente"},
        {SpeedButton10, "Cor do verso"},
        {SpeedButton9, "Imagem do verso"},
        {SpeedButton11, "Logotipo"},
        {SpeedButton3, "Sobre"},
        {SpeedButton12, "Salvar vCard"},
        {SpeedButton1, "Copiar vCard"},
        {SpeedButton4, "Exportar JPEG"},
        {SpeedButton5, "Exportar PDF"},
        {SpeedButton2, "Imprimir"},
    };
    for (const auto& [button, name] : names) {
        button->setToolTip(QString::fromUtf8(name));
        button->setAccessibleName(QString::fromUtf8(name));
    }
    painelfrente->setAccessibleName(QStringLiteral("Frente do cartão"));
    painelverso->setAccessibleName(QStringLiteral("Verso do cartão"));
    memovcard->setAccessibleName(QStringLiteral("vCard"));
}

void TForm1::buildComponents() {
    SaveDialog1 = new lumo::TSaveDialog(QStringLiteral("SaveDialog1"), QStringLiteral("jpg"),
                                        QStringLiteral("JPEG|*jpg"), this);
    SaveDialog2 = new lumo::TSaveDialog(QStringLiteral("SaveDialog2"), QStringLiteral("pdf"),
                                        QStringLiteral("PDF|*pdf"), this);
    SaveDialog3 = new lumo::TSaveDialog(QStringLiteral("SaveDialog3"), QStringLiteral("vcf"),
                                        QStringLiteral("VCF|*vcf"), this);
    OpenDialog1 = new lumo::TOpenDialog(QStringLiteral("OpenDialog1"),
                                        QStringLiteral("Imagem|*.jpg;*.jpeg;*.png;*.bmp"), this);
    ColorDialog1 = new lumo::TColorDialog(QStringLiteral("ColorDialog1"), this);
    ColorDialog2 = new lumo::TColorDialog(QStringLiteral("ColorDialog2"), this);

    auto menu = [this](const QString& name, const QString& itemName, const QString& caption, QAction*& item) {
        auto* m = new QMenu(this);
        m->setObjectName(name);
        item = m->addAction(caption);
        item->setObjectName(itemName);
        return m;
    };
    PopupMenu1 =
        menu(QStringLiteral("PopupMenu1"), QStringLiteral("Salvar1"), QStringLiteral("Salvar"), Salvar1);
    PopupMenu2 = menu(QStringLiteral("PopupMenu2"), QStringLiteral("Romover1"),
                      QStringLiteral("Remover imagem do fundo"), Romover1);
    PopupMenu3 = menu(QStringLiteral("PopupMenu3"), QStringLiteral("Remover1"),
                      QStringLiteral("Remover logo"), Remover1);
    PopupMenu4 = menu(QStringLiteral("PopupMenu4"), QStringLiteral("Removerimagemdofundo1"),
                      QStringLiteral("Remover imagem do fundo"), Removerimagemdofundo1);

    Report1 = lumo::makeCardDocument(false);
    Report2 = lumo::makeCardDocument(true);
    PDFExport1 = lumo::makePdfExport();
    JPEGExport1 = std::make_unique<report::TJPEGExport>();
}

void TForm1::connectHandlers() {
    // Every handler runs under the default error handler, like an event of the window.
    auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { lumo::runGuarded(this, [this, handler] { (this->*handler)(); }); });
    };
    on(edtnome, &QLineEdit::textChanged, &TForm1::edtnomeChange);
    on(edtsobrenome, &QLineEdit::textChanged, &TForm1::edtsobrenomeChange);
    on(edtsufixo, &QLineEdit::textChanged, &TForm1::edtsufixoChange);
    on(edtfixo, &QLineEdit::textChanged, &TForm1::edtfixoChange);
    on(edtcelular, &QLineEdit::textChanged, &TForm1::edtcelularChange);
    on(edtsite, &QLineEdit::textChanged, &TForm1::edtsiteChange);
    on(edtemail, &QLineEdit::textChanged, &TForm1::edtsiteChange);
    on(edtrua, &QLineEdit::textChanged, &TForm1::edtruaChange);
    on(edtnumero, &QLineEdit::textChanged, &TForm1::edtnumeroChange);
    on(edtbairro, &QLineEdit::textChanged, &TForm1::edtbairroChange);
    on(edtcidade, &QLineEdit::textChanged, &TForm1::edtcidadeChange);
    on(edtestado, &QLineEdit::textChanged, &TForm1::edtestadoChange);
    on(edtcep, &QLineEdit::textChanged, &TForm1::edtcepChange);

    on(gerarvcard, &QPushButton::clicked, &TForm1::gerarvcardClick);
    on(SpeedButton1, &QToolButton::clicked, &TForm1::SpeedButton1Click);
    on(SpeedButton12, &QToolButton::clicked, &TForm1::SpeedButton12Click);
    on(SpeedButton2, &QToolButton::clicked, &TForm1::SpeedButton2Click);
    on(SpeedButton3, &QToolButton::clicked, &TForm1::SpeedButton3Click);
    on(SpeedButton4, &QToolButton::clicked, &TForm1::SpeedButton4Click);
    on(SpeedButton5, &QToolButton::clicked, &TForm1::SpeedButton5Click);
    on(SpeedButton6, &QToolButton::clicked, &TForm1::SpeedButton6Click);
    on(SpeedButton7, &QToolButton::clicked, &TForm1::SpeedButton7Click);
    on(SpeedButton8, &QToolButton::clicked, &TForm1::SpeedButton8Click);
    on(SpeedButton9, &QToolButton::clicked, &TForm1::SpeedButton9Click);
    on(SpeedButton10, &QToolButton::clicked, &TForm1::SpeedButton10Click);
    on(SpeedButton11, &QToolButton::clicked, &TForm1::SpeedButton11Click);
    // A tick changed by a click or by code reaches the card.
    on(CheckBox3, &QCheckBox::toggled, &TForm1::CheckBox3Click);
    on(sangria, &QCheckBox::toggled, &TForm1::CheckBox3Click);
    on(memovcard, &QPlainTextEdit::textChanged, &TForm1::memovcardChange);
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) { FModel->SetFront(on); });
    connect(CheckBox2, &QCheckBox::toggled, this, [this](bool on) { FModel->SetBack(on); });
    connect(FModel.get(), &lumo::CardModel::changed, this, [this] {
        if (!FReplacingCard)
            setWindowModified(true);
        showModel();
    });

    on(Salvar1, &QAction::triggered, &TForm1::Salvar1Click);
    on(Romover1, &QAction::triggered, &TForm1::Romover1Click);
    on(Remover1, &QAction::triggered, &TForm1::Remover1Click);
    on(Removerimagemdofundo1, &QAction::triggered, &TForm1::Removerimagemdofundo1Click);

    // Right-click menus: the topmost element under the pointer receives the request.
    for (lumo::TImage* front : {Image1, Image4})
        popupFor(front, PopupMenu1, &TForm1::Image1ContextPopup);
    for (QWidget* front : std::initializer_list<QWidget*>{pbackground, Image3, picone, pnome, psufixo})
        popupFor(front, PopupMenu2, &TForm1::pbackgroundContextPopup);
    popupFor(pbackgroundfundo, PopupMenu4, &TForm1::pbackgroundfundoContextPopup);
    popupFor(pbackgroundfundop, PopupMenu4, &TForm1::pbackgroundfundopContextPopup);
    popupFor(plogo, PopupMenu3, &TForm1::plogoContextPopup);
}

void TForm1::popupFor(QWidget* element, QMenu* menu, void (TForm1::*handler)()) {
    element->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(element, &QWidget::customContextMenuRequested, this,
            [this, element, menu, handler](const QPoint& pos) {
                lumo::runGuarded(this, [this, handler] { (this->*handler)(); });
                menu->popup(element->mapToGlobal(pos));
            });
}

// ---------------------------------------------------------------------------------------
// Window events

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QWidget::eventFilter(watched, event);
    using KeyHandler = void (TForm1::*)(QChar&);
    const std::pair<QLineEdit*, KeyHandler> handlers[] = {
        {edtnome, &TForm1::edtnomeKeyPress},       {edtsobrenome, &TForm1::edtsobrenomeKeyPress},
        {edtsufixo, &TForm1::edtsufixoKeyPress},   {edtfixo, &TForm1::edtfixoKeyPress},
        {edtcelular, &TForm1::edtcelularKeyPress}, {edtsite, &TForm1::edtsiteKeyPress},
        {edtemail, &TForm1::edtemailKeyPress},     {edtrua, &TForm1::edtruaKeyPress},
        {edtnumero, &TForm1::edtnumeroKeyPress},   {edtbairro, &TForm1::edtbairroKeyPress},
        {edtcidade, &TForm1::edtcidadeKeyPress},   {edtestado, &TForm1::edtestadoKeyPress},
        {edtcep, &TForm1::edtcepKeyPress},
    };
    for (const auto& [box, handler] : handlers) {
        if (box != watched)
            continue;
        QChar k(13);
        lumo::runGuarded(this, [&] { (this->*handler)(k); });
        return k.isNull(); // a handled Enter neither beeps nor inserts anything
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FShown) {
        FShown = true;
        lumo::runGuarded(this, [this] { FormShow(); });
    }
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Anchors first, then the column layout, as the window's own resize handler sees them.
    const int top = menuHeight();
    MainMenu1->setGeometry(0, 0, width(), top);
    FFormAnchors.apply(size() - QSize(0, top), QPoint(0, top));
    FNomeAnchors.apply(painelnome->size());
    FContatoAnchors.apply(painelcontato->size());
    FEnderecoAnchors.apply(painelendereco->size());
    FFooterAnchors.apply(painelfooter->size());
    lumo::runGuarded(this, [this] { FormResize(); });
}

// ---------------------------------------------------------------------------------------
// Frame

void TForm1::FormCreate() {
    installIconFont();
    centre();
    // Before the window exists its frame is unknown: centred again once it is shown.
    lumo::centreOnScreenWhenShown(this);
}

void TForm1::installIconFont() {
    lumo::installIconFont();
}

void TForm1::centre() {
    const QScreen* s = screen();
    if (!s)
        return;
    const QRect screenRect = s->geometry();
    const QSize outer = frameGeometry().size();
    move((screenRect.width() - outer.width()) / 2, (screenRect.height() - outer.height()) / 2);
}

void TForm1::FormShow() {
    edtnome->setFocus();
}

void TForm1::FormResize() {
    const int w = painelnome->width() / 2 - 28;
    auto setWidth = [](QWidget* c, int width) { c->resize(width, c->height()); };
    auto setLeft = [](QWidget* c, int left) { c->move(left, c->y()); };
    setWidth(edtnome, w);
    setWidth(edtsobrenome, w);
    setLeft(Label3, edtnome->width() + 41);
    setLeft(edtsobrenome, edtnome->width() + 41);
    setWidth(edtfixo, w);
    setWidth(edtcelular, w);
    setLeft(Label1, edtnome->width() + 41);
    setLeft(edtcelular, edtnome->width() + 41);
    setWidth(edtsite, w);
    setWidth(edtemail, w);
    setLeft(Label12, edtsite->width() + 41);
    setLeft(edtemail, edtsite->width() + 41);
    setWidth(edtrua, edtnumero->x() - 41);
    setWidth(edtbairro, w);
    setWidth(edtcidade, w);
    setLeft(Label9, edtnome->width() + 41);
    setLeft(edtcidade, edtnome->width() + 41);
    setWidth(edtestado, w);
    setWidth(edtcep, w);
    setLeft(Label11, edtnome->width() + 41);
    setLeft(edtcep, edtnome->width() + 41);
}

void TForm1::SetGerarImageIndex(int index) {
    FGerarImageIndex = index;
    gerarvcard->setIcon(index >= 0 && index < int(FImageList1.size()) ? QIcon(FImageList1[index]) : QIcon());
}

QString TForm1::MemoText() const {
    return QString(FModel->Memo()).replace(u'\n', QStringLiteral("\r\n"));
}

QString TForm1::memoWidgetText() const {
    // The raw text keeps every character as typed (a no-break space stays one); paragraph
    // and line separators are the memo's line breaks.
    QString text = memovcard->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

void TForm1::showModel() {
    const lumo::CardState& s = FModel->State();
    const std::pair<QLineEdit*, lumo::ContactField> boxes[] = {
        {edtnome, lumo::ContactField::Nome},       {edtsobrenome, lumo::ContactField::Sobrenome},
        {edtsufixo, lumo::ContactField::Sufixo},   {edtfixo, lumo::ContactField::Fixo},
        {edtcelular, lumo::ContactField::Celular}, {edtsite, lumo::ContactField::Site},
        {edtemail, lumo::ContactField::Email},     {edtrua, lumo::ContactField::Rua},
        {edtnumero, lumo::ContactField::Numero},   {edtbairro, lumo::ContactField::Bairro},
        {edtcidade, lumo::ContactField::Cidade},   {edtestado, lumo::ContactField::Estado},
        {edtcep, lumo::ContactField::Cep},
    };
    for (const auto& [box, field] : boxes) {
        const QString& value = lumo::fieldOf(s.contact, field);
        if (box->text() != value) {
            const QSignalBlocker quiet(box);
            box->setText(value);
        }
    }
    if (s.memo != FShownMemo) {
        const QSignalBlocker quiet(memovcard);
        memovcard->setPlainText(s.memo);
        FShownMemo = s.memo;
    }
    pnome->SetCaption(s.nameLine());
    psufixo->SetCaption(s.contact.sufixo);
    const QString cut = lumo::textCutNotice({pnome->Cut(), psufixo->Cut()});
    avisocorte->setText(cut);
    avisocorte->setVisible(!cut.isEmpty());
    vcardgerado = s.generated;
    if (FGerarImageIndex != s.generateGlyph)
        SetGerarImageIndex(s.generateGlyph);

    auto showPicture = [](lumo::TImage* element, const QImage& picture) {
        if (element->Picture().cacheKey() != picture.cacheKey())
            element->SetPicture(picture);
    };
    showPicture(Image2, FModel->QrPicture());
    showPicture(Image1, FModel->QrPicture());
    showPicture(pbackground, s.frontBackground.image);
    showPicture(pbackgroundfundo, s.backBackground.image);
    showPicture(plogo, s.logo.image);
    painelfrente->SetColor(s.frontColor);
    painelverso->SetColor(s.backColor);
    for (lumo::TCardLabel* label : {picone, pnome, psufixo})
        label->SetFontColor(s.textColor);
    picone->setVisible(s.icon);
    ContactList1->SetContacts(s.contacts);
    FQrLevelActions[std::size_t(s.qrLevel)]->setChecked(true);
    FSheetActions[std::size_t(s.sheet)]->setChecked(true);
    for (const auto& [box, on] : {std::pair{CheckBox3, s.icon}, std::pair{sangria, s.bleed},
                                  std::pair{CheckBox1, s.front}, std::pair{CheckBox2, s.back}}) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    }
}

lumo::CardModel& TForm1::Model() {
    return *FModel;
}

// ---------------------------------------------------------------------------------------
// Contact form

void TForm1::enterMovesTo(QChar& key, QWidget* next) {
    if (key != QChar(13))
        return;
    key = QChar();
    next->setFocus();
}

void TForm1::edtnomeKeyPress(QChar& Key) {
    enterMovesTo(Key, edtsobrenome);
}
void TForm1::edtsobrenomeKeyPress(QChar& Key) {
    enterMovesTo(Key, edtsufixo);
}
void TForm1::edtsufixoKeyPress(QChar& Key) {
    enterMovesTo(Key, edtfixo);
}
void TForm1::edtfixoKeyPress(QChar& Key) {
    enterMovesTo(Key, edtcelular);
}
void TForm1::edtcelularKeyPress(QChar& Key) {
    enterMovesTo(Key, edtsite);
}
void TForm1::edtsiteKeyPress(QChar& Key) {
    enterMovesTo(Key, edtemail);
}
void TForm1::edtemailKeyPress(QChar& Key) {
    enterMovesTo(Key, edtrua);
}
void TForm1::edtruaKeyPress(QChar& Key) {
    enterMovesTo(Key, edtnumero);
}
void TForm1::edtnumeroKeyPress(QChar& Key) {
    enterMovesTo(Key, edtbairro);
}
void TForm1::edtbairroKeyPress(QChar& Key) {
    enterMovesTo(Key, edtcidade);
}
void TForm1::edtcidadeKeyPress(QChar& Key) {
    enterMovesTo(Key, edtestado);
}
void TForm1::edtestadoKeyPress(QChar& Key) {
    enterMovesTo(Key, edtcep);
}

void TForm1::edtcepKeyPress(QChar& Key) {
    if (Key != QChar(13))
        return;
    Key = QChar();
    gerarvcard->click();
}

// Each box's change handler copies the box into the card; the card marks the vCard stale
// and the preview's name and suffix follow it.
void TForm1::edtnomeChange() {
    FModel->SetField(lumo::ContactField::Nome, edtnome->text());
    FModel->SetField(lumo::ContactField::Sobrenome, edtsobrenome->text());
}
void TForm1::edtsobrenomeChange() {
    edtnomeChange();
}
void TForm1::edtsufixoChange() {
    FModel->SetField(lumo::ContactField::Sufixo, edtsufixo->text());
}
void TForm1::edtfixoChange() {
    FModel->SetField(lumo::ContactField::Fixo, edtfixo->text());
}
void TForm1::edtcelularChange() {
    FModel->SetField(lumo::ContactField::Celular, edtcelular->text());
}
void TForm1::edtsiteChange() {
    FModel->SetField(lumo::ContactField::Site, edtsite->text());
    FModel->SetField(lumo::ContactField::Email, edtemail->text());
}
void TForm1::edtruaChange() {
    FModel->SetField(lumo::ContactField::Rua, edtrua->text());
}
void TForm1::edtnumeroChange() {
    FModel->SetField(lumo::ContactField::Numero, edtnumero->text());
}
void TForm1::edtbairroChange() {
    FModel->SetField(lumo::ContactField::Bairro, edtbairro->text());
}
void TForm1::edtcidadeChange() {
    FModel->SetField(lumo::ContactField::Cidade, edtcidade->text());
}
void TForm1::edtestadoChange() {
    FModel->SetField(lumo::ContactField::Estado, edtestado->text());
}
void TForm1::edtcepChange() {
    FModel->SetField(lumo::ContactField::Cep, edtcep->text());
}

void TForm1::memovcardChange() {
    FShownMemo = memoWidgetText();
    FModel->SetMemo(FShownMemo);
}

// ---------------------------------------------------------------------------------------
// vCard and QR picture

void TForm1::gerarvcardClick() {
    // Throws when the text is too long for any QR symbol: the memo shows the new text,
    // the pictures and the stale state stay.
    FModel->Generate();
}

void TForm1::SpeedButton1Click() {
    if (!vcardgerado)
        return;
    lumo::platform().setClipboardText(MemoText());
    lumo::platform().message(this, QStringLiteral("Copiado!"));
}

void TForm1::SpeedButton12Click() {
    SaveDialog3->SetFileName(FModel->NameLine());
    if (!SaveDialog3->Execute(this))
        return;
    // Only a file that was really written is confirmed by the beep.
    lumo::writeVcfFile(SaveDialog3->FileName(), MemoText());
    lumo::platform().beep();
}

bool TForm1::qrPictureSavable() const {
    return !FModel->Memo().isEmpty() && !FModel->QrPicture().isNull();
}

void TForm1::Image1ContextPopup() {
    // With text in the memo but no QR picture made yet there is nothing to save.
    Salvar1->setEnabled(qrPictureSavable());
}

void TForm1::Salvar1Click() {
    if (!qrPictureSavable())
        return;
    SaveDialog1->SetFileName(QStringLiteral("Código QR Vcard ") + FModel->NameLine());
    if (!SaveDialog1->Execute(this))
        return;
    lumo::saveQrPicture(FModel->QrPicture(), SaveDialog1->FileName());
}

// ---------------------------------------------------------------------------------------
// Card preview styling

void TForm1::SpeedButton7Click() {
    if (ColorDialog1->Execute(this))
        FModel->SetFrontColor(ColorDialog1->Color());
}

void TForm1::SpeedButton10Click() {
    if (!ColorDialog1->Execute(this))
        return;
    FModel->SetBackColor(ColorDialog1->Color());
    FModel->SetBack(true);
}

void TForm1::SpeedButton6Click() {
    if (ColorDialog2->Execute(this))
        FModel->SetTextColor(ColorDialog2->Color());
}

void TForm1::SpeedButton8Click() {
    if (OpenDialog1->Execute(this))
        FModel->SetFrontBackground(lumo::readPictureFile(OpenDialog1->FileName()));
}

void TForm1::SpeedButton9Click() {
    if (OpenDialog1->Execute(this))
        FModel->SetBackBackground(lumo::readPictureFile(OpenDialog1->FileName()));
}

void TForm1::SpeedButton11Click() {
    if (!OpenDialog1->Execute(this))
        return;
    FModel->SetLogo(lumo::readPictureFile(OpenDialog1->FileName()));
    FModel->SetBack(true);
}

void TForm1::CheckBox3Click() {
    FModel->SetIcon(CheckBox3->isChecked());
    FModel->SetBleed(sangria->isChecked());
}

void TForm1::pbackgroundContextPopup() {
    Romover1->setEnabled(!FModel->FrontBackground().isNull());
}
void TForm1::pbackgroundfundoContextPopup() {
    Removerimagemdofundo1->setEnabled(!FModel->BackBackground().isNull());
}
void TForm1::pbackgroundfundopContextPopup() {
    pbackgroundfundoContextPopup();
}
void TForm1::plogoContextPopup() {
    Remover1->setEnabled(!FModel->Logo().isNull());
}
void TForm1::Romover1Click() {
    FModel->SetFrontBackground({});
}
void TForm1::Removerimagemdofundo1Click() {
    FModel->SetBackBackground({});
}
void TForm1::Remover1Click() {
    FModel->SetLogo({});
}

// ---------------------------------------------------------------------------------------
// Output

lumo::CardDesign TForm1::Design() const {
    return lumo::designOf(*FModel);
}

report::TReport& TForm1::PreparedDocument() {
    const lumo::CardDesign design = Design();
    report::TReport& document = design.bleed ? *Report2 : *Report1;
    lumo::fillCardDocument(document, design);
    document.PrepareReport(true);
    return document;
}

bool TForm1::outputReady() const {
    // A stale vCard, or neither side ticked: nothing to print or write, and no dialog.
    return vcardgerado && (FModel->Front() || FModel->Back());
}

void TForm1::SpeedButton2Click() {
    if (!outputReady())
        return;
    report::TReport& document = PreparedDocument();
    if (lumo::printCardOnPaper(this, document, Design(), FModel->Sheet(), FModel->NameLine()))
        lumo::platform().beep();
}

void TForm1::exportCard(lumo::TSaveDialog* dialog, report::TExportFilter& exporter) {
    if (!outputReady())
        return;
    dialog->SetFileName(FModel->NameLine());
    if (!dialog->Execute(this))
        return;
    report::TReport& document = PreparedDocument();
    exporter.SetFileName(dialog->FileName());
    document.Export(exporter);
    lumo::platform().beep();
}

void TForm1::SpeedButton4Click() {
    JPEGExport1->SetJPEGQuality(100);
    JPEGExport1->SetResolution(300);
    exportCard(SaveDialog1, *JPEGExport1);
}

void TForm1::SpeedButton5Click() {
    if (FModel->Sheet() != lumo::SheetKind::Card)
        return exportSheets();
    exportCard(SaveDialog2, *PDFExport1);
}

void TForm1::SpeedButton3Click() {
    if (FAboutHandler)
        FAboutHandler();
}
