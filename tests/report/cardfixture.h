#pragma once

// The program's card documents, filled as the output actions fill them, for the report
// engine's tests and benchmark; and the boxes the objects are designed to have.

#include "report/report.h"

namespace reporttest {

struct CardOptions {
    bool bleed = false;
    QImage frontBackground, logo;
    QColor front = Qt::white, back = Qt::white;
    QString name = QStringLiteral("Maria Silva");
    QColor text = Qt::black, suffixText = Qt::black;

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
    CardOptions& withTextColours(const QColor& name, const QColor& suffix) {
        text = name;
        suffixText = suffix;
        return *this;
    }
};

// The objects' boxes in units, as designed; the plate is the square it is drawn as.
struct CardBoxes {
    QRectF page, name, suffix, plate, qr, icon, logo;
};
CardBoxes cardBoxes(bool bleed);

// The card document of lumo::makeCardDocument, both sides, with the suffix "Arquiteta", the
// icon shown and the QR picture of makeQrPicture.
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
