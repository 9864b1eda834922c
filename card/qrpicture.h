#pragma once

#include "qrcode/qrcodegenerator.h"

#include <QImage>
#include <QString>

namespace lumo {

// Side of the full-resolution QR picture, in pixels.
constexpr int kQrPictureSide = 2000;

// The QR symbol of `text` (byte mode, UTF-8 without byte-order mark, no quiet zone, level L
// unless asked otherwise) as a 2000 × 2000 picture of solid black and white blocks. Throws
// when no QR symbol holds the text.
QImage renderQrPicture(const QString& text, TQRErrorCorrection level = qrLevelL);

// The bytes the card's QR symbol holds for `text`: its UTF-8 bytes, nothing before them.
int qrEncodedBytes(const QString& text);
// The most bytes one symbol of the level holds (2953 at L down to 1273 at H).
int qrMaxBytes(TQRErrorCorrection level);
// "nível H: 1850 bytes, máximo 1273": the size of `text` against the level's maximum, as the
// window's message about a text too large for the symbol gives them.
QString qrCapacityNote(const QString& text, TQRErrorCorrection level);

// Writes the picture as a colour baseline JPEG of quality 90, all or nothing.
void saveQrPicture(const QImage& picture, const QString& path);

} // namespace lumo
