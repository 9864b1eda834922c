#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace lumo {

// The largest picture the program decodes, in pixels: a 48-megapixel photograph passes,
// while a picture that would need gigabytes of memory is refused before decoding.
constexpr qint64 kMaxPicturePixels = 48'000'000;
// The largest picture file read into memory.
constexpr qint64 kMaxPictureFileBytes = 256 * 1024 * 1024;

// Reads a picture the user chose, its type decided by the file's extension (.jpg, .jpeg,
// .png, .bmp). Throws lumo::UserError when the extension is unknown or the file cannot be
// decoded completely; nothing is returned half-read.
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
