#include "app/about.h"

#include "app/identity.h"
#include "app/placement.h"
#include "platform/platform.h"

#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

namespace {

QFont pixelFont(const QString& family, int pixelSize) {
    QFont f(family);
    f.setPixelSize(pixelSize);
    return f;
}

// A blue line with a hand cursor that reacts to a click.
QLabel* linkLabel(QWidget* parent, const QString& name, const QString& text, QRect place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(pixelFont(QStringLiteral("Tahoma"), 16));
    QPalette blue = label->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(blue);
    label->setCursor(Qt::PointingHandCursor);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(place);
    lumo::widenToText(*label);
    return label;
}

} // namespace

TFormInfo::TFormInfo(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FormInfo"));
    // The box never keeps the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setFont(pixelFont(QStringLiteral("Tahoma"), 13));

    Label5 = new QLabel(QStringLiteral("Lumo Card versão 1.0"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setFont(pixelFont(QStringLiteral("Segoe UI"), 29));
    Label5->setAlignment(Qt::AlignCenter);
    Label5->setGeometry(130, 3, 282, 40);
    lumo::widenToText(*Label5);

    Label10 = linkLabel(this, QStringLiteral("Label10"),
                        QStringLiteral("Desenvolvido por: ") + QString::fromUtf16(lumo::kMakerName),
                        {130, 486, 282, 19});
    Label2 = linkLabel(this, QStringLiteral("Label2"),
                       QStringLiteral("Contato via E-mail: ") + QString::fromUtf16(lumo::kMakerMail),
                       {114, 511, 314, 19});
    Label10->installEventFilter(this);
    Label2->installEventFilter(this);
}

void TFormInfo::showOrRaise() {
    show();
    raise();
    activateWindow();
}

void TFormInfo::FormShow() {
    // The first time, the frame is not there yet: once it is, the box is centred again.
    lumo::centreOnScreen(*this);
    lumo::centreOnScreenWhenShown(this);
}

void TFormInfo::Label10Click() {
    lumo::platform().openUrl(QUrl(QString::fromUtf16(lumo::kMakerWeb)));
}

void TFormInfo::Label2Click() {
    lumo::platform().openUrl(QUrl(QStringLiteral("mailto:") + QString::fromUtf16(lumo::kMakerMail)));
}

bool TFormInfo::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Label10 || watched == Label2) && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        auto* label = static_cast<QLabel*>(watched);
        // A click: the left button released over the line it went down on.
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            lumo::runGuarded(this, [this, label] { label == Label10 ? Label10Click() : Label2Click(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFormInfo::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    lumo::runGuarded(this, [this] { FormShow(); });
}
