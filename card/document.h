#pragma once

// The card document (.lumocard): a ZIP archive holding
//   mimetype             "application/x-lumocard", stored uncompressed as the first entry
//   card.json            every value of the card, with "format" (see document.cpp)
//   pictures/<key>.<ext> each picture in the exact bytes of the file it was loaded from
// Nothing in a document is ever extracted to disk: entries are read into memory by the names
// card.json gives.

#include "card/cardmodel.h"

#include <QByteArray>
#include <QString>

namespace lumo {

// The format this program writes and the newest it reads.
constexpr int kCardDocumentFormat = 1;
inline constexpr char kCardDocumentMimeType[] = "application/x-lumocard";
// The largest card.json read.
constexpr qint64 kMaxCardJsonBytes = 16 * 1024 * 1024;
// The largest document file read: three pictures of the largest size, card.json and room
// for the archive's own records.
constexpr qint64 kMaxCardDocumentBytes = 3 * kMaxPictureFileBytes + kMaxCardJsonBytes + 1024 * 1024;

// The document of `state`.
QByteArray cardDocumentBytes(const CardState& state);

// Writes the document of `state` to `path`, all or nothing: a failed save leaves any file at
// `path` as it was. Throws lumo::UserError naming the file and the reason.
void saveCardDocument(const QString& path, const CardState& state);

// Reads a document's bytes. Throws lumo::UserError naming `shownName` and the reason when
// the bytes are not a complete document this program understands; nothing half-read is
// returned.
CardState readCardDocument(const QByteArray& bytes, const QString& shownName);

// Reads the document at `path` (a regular file of at most kMaxCardDocumentBytes).
CardState openCardDocument(const QString& path);

} // namespace lumo
