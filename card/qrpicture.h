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

// Writes the picture as a colour baseline JPEG of quality 90, all or nothing.
void saveQrPicture(const QImage& picture, const QString& path);

} // namespace lumo
