#pragma once

// The file for the print shop: cards drawn with a print shop's bleed by the one renderer,
// written as a PDF and converted to PDF/X-1a in CMYK (report/pdfx.h).

#include "card/batch.h"
#include "card/cardoutput.h"
#include "report/pdfx.h"

#include <QString>

#include <functional>
#include <vector>

namespace lumo {

// The current card (the sides the design ticks) as a PDF/X-1a file at `path`. The design's
// own bleed choice does not matter: the pages get options.BleedMm. All or nothing. Throws
// UserError when no side is ticked or the file cannot be written.
void exportPrintShopPdf(const CardDesign& design, const QString& path, const report::TPdfxOptions& options);
// The same for a card document's values (the command line): its QR code is the vCard of its
// contact at its level, as the batch makes it. Throws UserError also when the vCard fits in
// no QR symbol.
void exportPrintShopPdf(const CardState& card, const QString& path, const report::TPdfxOptions& options);

// A card for every contact, as exportBatchPdf makes them but always one card to a page with
// the print shop's bleed (a sheet design is not asked of a print shop, which imposes the
// cards itself). The cards are drawn in pieces of a hundred into a temporary PDF beside
// `path`, and each piece is converted on another thread while the next is drawn, so memory
// stays the same however long the list. `progress` hears (done, total), on the calling thread:
// done is first the cards drawn (up to the contacts), then the last piece's cards as that piece
// is converted, the one step left once every card is drawn; total is the contacts plus the
// last piece's cards (at most a hundred). Returns false when cancelled (no file then). Throws
// UserError as exportBatchPdf does.
// A contact whose vCard does not fit the QR level is left out and listed in `summary`, with
// the cards whose name or suffix is cut, as exportBatchPdf lists them.
bool exportPrintShopPdf(const CardState& design, int total, const std::function<ContactFields()>& nextContact,
                        const QString& path, const report::TPdfxOptions& options,
                        const BatchProgress& progress = {}, BatchSummary* summary = nullptr);
bool exportPrintShopPdf(const CardState& design, const std::vector<ContactFields>& contacts,
                        const QString& path, const report::TPdfxOptions& options,
                        const BatchProgress& progress = {}, BatchSummary* summary = nullptr);

// What of the card (the ticked sides) lies within `marginMm` of the trim: a print shop cuts
// with a tolerance of a millimetre or two. Measured on the drawing itself (the ink of each
// text and picture as the renderer draws it), backgrounds left out since they are meant to
// reach the edges. Nothing is moved.
struct MarginWarning {
    QString side;   // "frente" or "verso"
    QString object; // what it is, in Portuguese ("o nome", "o logotipo", ...)
    QString edge;   // "superior", "inferior", "esquerda" or "direita"
    double mm;      // the distance from that edge of the trim, millimetres (0 or less: past it)
};
std::vector<MarginWarning> safetyMarginWarnings(const CardDesign& design, double marginMm = 3);
// The warnings as lines for the dialog; one line saying all is well when there are none.
QStringList describeMarginWarnings(const std::vector<MarginWarning>& warnings, double marginMm = 3);

} // namespace lumo
