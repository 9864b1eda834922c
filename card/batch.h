#pragma once

// Cards of a whole contact list in one PDF.

#include "card/cardmodel.h"

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

namespace lumo {

// Told after each card is drawn, with the cards done and the cards in all; returning false
// cancels the export.
using BatchProgress = std::function<bool(int done, int total)>;

// The QR symbol of `text` as the single card makes it (byte mode, UTF-8 without byte-order
// mark, no quiet zone), each module a square of modulePixels × modulePixels, black on white,
// in a 1-bit picture. Throws lumo::UserError when no QR symbol of the level holds the text.
QImage qrModulePicture(const QString& text, TQRErrorCorrection level = qrLevelL, int modulePixels = 1);

// Writes one PDF with a card for every contact, in their order: the front and then the back
// of each card, only the sides the design ticks, each page exactly the card's size (with
// bleed when the design says so). On the design's sheet of A4 or Letter paper, nine cards go
// to a sheet instead, the sheet of their backs after it (see card/sheet.h), and progress is
// told once a sheet is drawn. Colours, pictures, the logo, the icon and the text colour
// are the design's, and so is the QR code's error-correction level; the name line, the suffix
// and the QR code (of composeVCard of the contact, as Generate makes it) are the contact's own.
//
// The target appears only complete: a cancelled or failed export leaves no file and an
// existing file as it was. Returns false when `progress` cancelled. Throws lumo::UserError
// when no side is ticked, when there is no contact, when a contact's vCard does not fit in
// any QR symbol (naming the contact by number and name) or when the file cannot be written.
bool exportBatchPdf(const CardState& design, const std::vector<ContactFields>& contacts, const QString& path,
                    const BatchProgress& progress = {});

// The same for `total` contacts given one at a time by `nextContact`, in their order, so that
// the list need not be held: a file read a part at a time goes straight into the PDF.
// `nextContact` is called on the calling thread and may throw lumo::UserError, which ends the
// export as a failure.
bool exportBatchPdf(const CardState& design, int total, const std::function<ContactFields()>& nextContact,
                    const QString& path, const BatchProgress& progress = {});

} // namespace lumo
