#pragma once

// Cards of a whole contact list in one PDF.

#include "card/cardmodel.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace lumo {

// A card of the batch that has something to tell: its contact's place in the list (from 1),
// the name shown for it and what happened.
struct BatchCardNote {
    int number = 0;
    QString name;
    QString reason;
};

// What a batch tells at its end, beside the PDF.
struct BatchSummary {
    int cardsWritten = 0;
    // Contacts without a card, each with why (its vCard does not fit the QR level).
    std::vector<BatchCardNote> leftOut;
    // Cards written that the user should look at (a name or suffix too long to show whole).
    std::vector<BatchCardNote> notes;
};

// How a batch names a contact: "Nome Sobrenome", or "sem nome".
QString shownName(const ContactFields& contact);
// A contact left out because its vCard of `size` bytes does not fit a QR symbol of `level`
// (at most `limit` bytes): "o vCard não cabe no código QR (nível H: 1850 bytes, máximo 1273)".
BatchCardNote qrTooLargeNote(int number, const ContactFields& contact, TQRErrorCorrection level, int size,
                             int limit);
// Counts a card written in `summary`, with a note when its name or suffix could only be drawn
// cut.
void noteCardWritten(BatchSummary& summary, int number, const ContactFields& contact, const CardDesign& card);

// The summary as lines for the user, one a card ("3 cartões deixados de fora:", then
// "contato 3, Ana Lima: o vCard não cabe no código QR (nível H: 1850 bytes, máximo 1273)");
// empty when there is nothing to tell.
QStringList batchSummaryLines(const BatchSummary& summary);

// Told after each card is drawn, with the cards done and the cards in all, and again now and
// then while the file is finished (done == total); returning false cancels the export.
using BatchProgress = std::function<bool(int done, int total)>;

// The QR symbol of `text` as the single card makes it (byte mode, UTF-8 without byte-order
// mark, no quiet zone), each module a square of modulePixels × modulePixels, black on white,
// in a 1-bit picture. Throws QRCodeTooLargeError (qrcode/encoder.h, with the encoder's count
// and the level's maximum) when no QR symbol of the level holds the text, lumo::UserError when
// the symbol cannot be made otherwise.
QImage qrModulePicture(const QString& text, TQRErrorCorrection level = qrLevelL, int modulePixels = 1);

// Writes one PDF with a card for every contact, in their order: the front and then the back
// of each card, only the sides the design ticks, each page exactly the card's size (with
// bleed when the design says so). On the design's sheet of A4 or Letter paper, nine cards go
// to a sheet instead, the sheet of their backs after it (see card/sheet.h), and progress is
// told once a sheet is drawn. Colours, pictures, the logo, the icon and the text colour
// are the design's, and so is the QR code's error-correction level; the name line, the suffix
// and the QR code (of composeVCard of the contact, as Generate makes it) are the contact's own.
//
// A contact whose vCard does not fit a QR symbol of the design's level gets no card: the
// others go on, and `summary` (when given) lists it with its size and the level's maximum.
//
// The target appears only complete: a cancelled or failed export leaves no file and an
// existing file as it was. Returns false when `progress` cancelled. Throws lumo::UserError
// when no side is ticked, when there is no contact, when no contact's card could be made
// (`summary` then tells why) or when the file cannot be written.
bool exportBatchPdf(const CardState& design, const std::vector<ContactFields>& contacts, const QString& path,
                    const BatchProgress& progress = {}, BatchSummary* summary = nullptr);

// The same for `total` contacts given one at a time by `nextContact`, in their order, so that
// the list need not be held: a file read a part at a time goes straight into the PDF.
// `nextContact` is called on the calling thread and may throw lumo::UserError, which ends the
// export as a failure.
bool exportBatchPdf(const CardState& design, int total, const std::function<ContactFields()>& nextContact,
                    const QString& path, const BatchProgress& progress = {}, BatchSummary* summary = nullptr);

} // namespace lumo
