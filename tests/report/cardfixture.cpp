#include "tests/report/cardfixture.h"

#include "card/cardoutput.h"

#include <QFile>
#include <QFontDatabase>
#include <QPainter>

#include <random>

namespace reporttest {

using namespace report;

CardBoxes cardBoxes(bool bleed) {
    // With bleed the page is 1 mm larger; the front objects move by half of it and the logo
    // a little more.
    const QPointF shift = bleed ? QPointF(1.88976378, 1.95094488) : QPointF();
    const QPointF logoShift = bleed ? QPointF(2.37898541, 2.39834774) : QPointF();
    CardBoxes b;
    b.page = QRectF(0, 0, (bleed ? 55 : 54) * kUnitsPerMm, (bleed ? 87 : 86) * kUnitsPerMm);
    b.name = QRectF(17.00787402, 75.21259843, 170.16, 18.89765).translated(shift);
    b.suffix = QRectF(17.00787402, 92.22047244, 170.20212598, 15.11811024).translated(shift);
    // 45 mm square, centred across its 45.039 mm wide box.
    b.plate = QRectF(17.00787402 + (170.2243449 - 170.07874016) / 2, 137.95275591, 170.07874016, 170.07874016)
                  .translated(shift);
    b.qr = QRectF(26.45669291, 147.4015748, 151.18110236, 151.18110236).translated(shift);
    b.icon = QRectF(17.00787402, 7.55905512, 170.07874016, 39.93922024).translated(shift);
    b.logo = QRectF(17.00787402, 17.00787402, 170.07874016, 291.02362205).translated(logoShift);
    return b;
}

TReport makeCard(const CardOptions& o) {
    lumo::CardDesign design;
    design.front = design.back = design.icon = true;
    design.bleed = o.bleed;
    design.frontColor = o.front;
    design.backColor = o.back;
    design.nameColor = o.text;
    design.suffixColor = o.suffixText;
    design.name = o.name;
    design.suffix = QStringLiteral("Arquiteta");
    design.frontBackground = o.frontBackground;
    design.logo = o.logo;
    static const QImage qr = makeQrPicture();
    design.qr = qr;
    const std::unique_ptr<TReport> card = lumo::makeCardDocument(o.bleed);
    lumo::fillCardDocument(*card, design);
    return std::move(*card);
}

QImage makeQrPicture() {
    constexpr int modules = 29, size = 2000;
    std::mt19937 random(1);
    QImage image(modules, modules, QImage::Format_RGB32);
    for (int y = 0; y < modules; ++y)
        for (int x = 0; x < modules; ++x)
            image.setPixel(x, y, random() % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    QPainter painter(&image);
    for (QPoint corner : {QPoint(0, 0), QPoint(modules - 7, 0), QPoint(0, modules - 7)}) {
        painter.fillRect(QRect(corner - QPoint(1, 1), QSize(9, 9)), Qt::white);
        painter.fillRect(QRect(corner, QSize(7, 7)), Qt::black);
        painter.fillRect(QRect(corner + QPoint(1, 1), QSize(5, 5)), Qt::white);
        painter.fillRect(QRect(corner + QPoint(2, 2), QSize(3, 3)), Qt::black);
    }
    painter.end();
    return image.scaled(size, size).convertToFormat(QImage::Format_RGB32);
}

QImage makePhoto(int width, int height) {
    std::mt19937 random(7);
    QImage photo(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random() % 24);
            line[x] = qRgb(x * 200 / width + noise, y * 180 / height + noise,
                           60 + (x + y) * 120 / (width + height));
        }
    }
    return photo;
}

QImage makeLogo() {
    QImage logo(600, 600, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 30, 60));
    painter.drawEllipse(QRectF(60, 60, 480, 480));
    painter.fillRect(QRectF(210, 210, 180, 180), QColor(20, 40, 160));
    return logo;
}

void loadIconFont() {
    const QString file = QStringLiteral(LUMO_SOURCE_DIR "/resources/fonts/icomoon.ttf");
    if (QFile::exists(file))
        QFontDatabase::addApplicationFont(file);
}

} // namespace reporttest
