#pragma once

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

} // namespace lumo
