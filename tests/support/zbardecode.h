#pragma once

// Reads QR symbols in a picture with zbar, an independent decoder, in binary mode so the
// raw bytes come back without any guess at their character set.

#include <QByteArray>
#include <QImage>
#include <QList>

#include <zbar.h>

inline QList<QByteArray> decodeQr(const QImage& picture) {
    using namespace zbar; // the C interface lives in this namespace when compiled as C++
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const int w = grey.width(), h = grey.height();
    QByteArray pixels(qsizetype(w) * h, Qt::Uninitialized);
    for (int y = 0; y < h; ++y)
        memcpy(pixels.data() + qsizetype(y) * w, grey.constScanLine(y), size_t(w));

    zbar_image_scanner_t* scanner = zbar_image_scanner_create();
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    zbar_image_scanner_set_config(scanner, ZBAR_QRCODE, ZBAR_CFG_ENABLE, 1);
    zbar_image_scanner_set_config(scanner, ZBAR_QRCODE, ZBAR_CFG_BINARY, 1);
    zbar_image_t* image = zbar_image_create();
    zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image, unsigned(w), unsigned(h));
    zbar_image_set_data(image, pixels.constData(), size_t(pixels.size()), nullptr);
    QList<QByteArray> found;
    if (zbar_scan_image(scanner, image) > 0) {
        for (const zbar_symbol_t* s = zbar_image_first_symbol(image); s; s = zbar_symbol_next(s))
            found << QByteArray(zbar_symbol_get_data(s), int(zbar_symbol_get_data_length(s)));
    }
    zbar_image_destroy(image);
    zbar_image_scanner_destroy(scanner);
    return found;
}
