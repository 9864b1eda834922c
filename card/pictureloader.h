#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace lumo {

// A picture header claiming more pixels than this is refused before decoding: no camera
// makes such a picture, so the header is damaged or hostile.
constexpr qint64 kMaxPicturePixels = 1'000'000'000;
// PNG and BMP decode whole before they can be scaled down, four bytes a pixel: this many
// pixels keep that within Qt's allocation limit of 256 MB. Phone photographs are JPEGs,
// which decode scaled and are bound only by kMaxPicturePixels.
constexpr qint64 kMaxWholeDecodePixels = 64'000'000;
// A JPEG stored in several scans (progressive ones above all) is decoded into a buffer of
// all its coefficients first, two bytes each, whatever size it is scaled to: 3 bytes a
// pixel with the usual colour subsampling, 6 without. Such a JPEG needing more than this
// is refused, which still lets in progressive photographs of well over 150 megapixels.
constexpr qint64 kMaxJpegCoefficientBytes = qint64(1) << 30;
// The largest picture file read into memory.
constexpr qint64 kMaxPictureFileBytes = 256 * 1024 * 1024;

// A loaded picture never exceeds these sides. The largest place a picture fills is the card
// with bleed, 55 × 87 mm: 1028 pixels on the long side at 300 dpi (PDF and JPEG), twice that
// on a 600 dpi printer. A background is stretched to the card whatever its orientation, so
// both of its sides are wanted at 2056 pixels; a longer side beyond twice that only feeds
// panoramas squeezed into a card, and would cost memory for nothing. The preview, 436 pixels
// high at three device pixels per point, needs less.
constexpr int kPictureShortSide = 2056;
constexpr int kPictureLongSide = 2 * kPictureShortSide;

// The size a picture of `size` pixels is decoded at: its own when within the sides above,
// otherwise scaled down, keeping its aspect ratio, until both sides are within them.
QSize pictureDecodeSize(QSize size);

// Reads a picture the user chose, its type decided by the file's extension (.jpg, .jpeg,
// .png, .bmp), scaled down to pictureDecodeSize. Throws lumo::UserError when the extension is
// unknown, the path is not a regular file, or the file cannot be decoded completely; nothing
// is returned half-read.
QImage loadPicture(const QString& path);

// A picture of the card with the exact bytes of the file it was read from, so a document
// can store the file as it was instead of a re-encoded copy.
struct CardPicture {
    QImage image;
    QByteArray bytes;
    QString extension; // lower case, decides the decoder: "jpg", "jpeg", "png" or "bmp"
    bool isNull() const { return image.isNull(); }
};

// Like loadPicture, keeping the file's bytes.
CardPicture readPictureFile(const QString& path);

// Decodes a picture file's bytes with the same checks as loadPicture; `shownName` names the
// picture in error messages.
QImage decodePicture(const QByteArray& bytes, const QString& extension, const QString& shownName);

} // namespace lumo
