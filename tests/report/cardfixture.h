#pragma once

// Card-like documents for the report engine's tests and benchmark: a front page with a
// background, name, suffix and icon texts, a QR plate and a QR picture, and a back page with
// a background and a logo, at the sizes of a card without and with bleed.

#include "report/report.h"

namespace reporttest {

struct CardOptions {
    bool bleed = false;
    QImage frontBackground, logo;
    QColor front = Qt::white, back = Qt::white;
    QString name = QStringLiteral("Maria Silva");

    CardOptions& withBleed(bool on) {
        bleed = on;
        return *this;
    }
    CardOptions& withFrontBackground(const QImage& p) {
        frontBackground = p;
        return *this;
    }
    CardOptions& withLogo(const QImage& p) {
        logo = p;
        return *this;
    }
    CardOptions& withColours(const QColor& f, const QColor& b) {
        front = f;
        back = b;
        return *this;
    }
    CardOptions& withName(const QString& n) {
        name = n;
        return *this;
    }
};

// The objects' boxes in units.
struct CardBoxes {
    QRectF page, name, suffix, plate, qr, icon, logo;
};
CardBoxes cardBoxes(bool bleed);

report::TReport makeCard(const CardOptions& options);

// 29 × 29 random modules with three finder squares, black on white, 2000 × 2000 pixels.
QImage makeQrPicture();
// A photograph-like picture: gradients with noise.
QImage makePhoto(int width, int height);
// A red disc with a blue square in it, on transparency.
QImage makeLogo();

// Registers the icon font from the resources when it is there.
void loadIconFont();

} // namespace reporttest
