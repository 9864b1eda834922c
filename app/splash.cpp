#include "app/splash.h"

#include "app/placement.h"
#include "platform/platform.h"

#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QTimer>

int contador = 0;

namespace lumo {

QImage withBlackSeeThrough(const QImage& picture) {
    QImage keyed = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < keyed.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
            if ((line[x] & RGB_MASK) == 0)
                line[x] = 0;
    }
    return keyed;
}

} // namespace lumo

TForm2::TForm2(QWidget* parent, Creation creation) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Form2"));
    // Black is the see-through colour: the window itself paints nothing, and the picture's
    // black and transparent pixels let the desktop show.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setFixedSize(kClientWidth, kClientHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kClientWidth, kClientHeight);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QImage picture = lumo::withBlackSeeThrough(QImage(QStringLiteral(":/pictures/splash.png")));
    if (!picture.isNull())
        Image1->setPixmap(QPixmap::fromImage(
            picture.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));

    Label1 = new QLabel(QStringLiteral("Versão 1.0"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont labelFont(QStringLiteral("Segoe UI"));
    labelFont.setPixelSize(32);
    labelFont.setBold(true);
    Label1->setFont(labelFont);
    Label1->setAlignment(Qt::AlignCenter);
    QPalette white = Label1->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(white);
    Label1->setGeometry(450, 310, 154, 45);
    lumo::widenToText(*Label1);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setAutoFillBackground(true);
    QPalette bar = Panel1->palette();
    bar.setColor(QPalette::Window, bar.color(QPalette::Highlight));
    Panel1->setPalette(bar);
    Panel1->setGeometry(0, 360, 0, 5);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { lumo::runGuarded(this, [this] { Timer1Timer(); }); });
    Timer1->start();

    if (creation == Creation::ShowModal)
        FormCreate();
}

void TForm2::FormCreate() {
    lumo::centreOnScreen(*this);
    exec();
}

void TForm2::Timer1Timer() {
    if (contador >= 5) {
        Timer1->stop();
        close();
    } else {
        Panel1->resize(Panel1->width() + kBarStep, Panel1->height());
        ++contador;
    }
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    // Escape would end a dialog's modal run; the splash ends only by its timer.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
