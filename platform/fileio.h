#pragma once

#include <QByteArray>
#include <QString>

namespace lumo {

// Writes `bytes` to `path` through a temporary file renamed into place: either the whole
// new content is there afterwards, or the file is as it was. Throws lumo::UserError with
// the path and the reason when the write fails.
void writeFileAtomically(const QString& path, const QByteArray& bytes);

// Like writeFileAtomically, but a link standing at `path` is replaced by the new file
// rather than followed, for files written into shared folders.
void replaceFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace lumo
