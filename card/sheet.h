#pragma once

// Cards on office paper: nine portrait cards to a sheet of A4 or Letter, crop marks in the
// margins, and for two-sided cards a sheet of backs after each sheet of fronts, its columns
// mirrored so that long-edge duplex printing puts every back behind its own front.

#include "card/batch.h"
#include "card/cardmodel.h"
#include "card/cardoutput.h"
#include "card/sheetkind.h"

#include <QLineF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPageSize;
class QPrinter;
class QWidget;

namespace lumo {

// Where everything goes on a sheet. Lengths are millimetres from the page's top left corner.
// SheetKind::Card is the card's own page: one place, no marks.
struct SheetLayout {
    SheetLayout(SheetKind kind, bool bleed);

    SheetKind kind;
    bool bleed;
    QSizeF pageMm;
    QSizeF pagePoints; // 1/72 inch
    int columns, rows;
    // One per place, row by row from the top left. The trim box is where the card is cut; the
    // bleed box is what is drawn: the card's 55 × 87 mm bleed page with bleed (the trim box
    // inset 0.5 mm; neighbouring bleed boxes touch, so the cards keep 1 mm apart), the trim box
    // itself without (neighbouring cards touch, so straight cuts separate them).
    std::vector<QRectF> trimBoxes, bleedBoxes;
    // Segments on the extension of every trim line, from 2 mm to 7 mm outside the grid of
    // bleed boxes, drawn 0.25 pt wide.
    std::vector<QLineF> cropMarks;

    int places() const { return columns * rows; }
    // The column that holds a card's back: the grid is centred across the page, so the
    // mirrored column lies exactly behind the front's.
    int backColumn(int column) const { return columns - 1 - column; }
    int backPlace(int place) const { return place - place % columns + backColumn(place % columns); }
    // The bleed boxes' outer edge.
    QRectF grid() const;
    // Keeps of each crop mark the part inside `printable` (millimetres on the page, the paper
    // less the printer's margins), leaving out a mark with less than 2 mm there. Returns how
    // many were left out.
    int FitMarks(const QRectF& printable);
};

// Width of a crop mark's line, in points.
constexpr double kCropMarkPoints = 0.25;

// The sheet of standard paper nearer in size to `paper`: Letter when it is nearer to it than
// to A4, else A4.
SheetKind nearestSheet(const QPageSize& paper);

// Makes the pages of cards laid out on sheets. The pages share one card document, filled
// anew for every card as a page is drawn, so the pictures common to all cards are the same
// images throughout and a PDF stores them once. Pages are drawn by one thread at a time.
class SheetPages {
public:
    SheetPages(SheetKind kind, bool bleed);
    const SheetLayout& Layout() const { return FLayout; }
    // The crop marks of the pages still to come fitted to what a printer prints; see
    // SheetLayout::FitMarks.
    int FitMarks(const QRectF& printable) { return FLayout.FitMarks(printable); }

    // Puts the next cards (at most Layout().places(), in order from the top left) on
    // `page`: their fronts, or with `backs` their backs in the mirrored places. Empty places
    // stay blank; the crop marks are all there.
    void Fill(report::TReportPage& page, const std::vector<CardDesign>& cards, bool backs) const;
    // The sheet of fronts of the next cards and then the sheet of their backs, each when the
    // cards' design ticks that side.
    std::vector<std::unique_ptr<report::TReportPage>> Sheets(const std::vector<CardDesign>& cards);
    // The same, added to `document`.
    void AddSheets(report::TReport& document, const std::vector<CardDesign>& cards);

private:
    void Lay(const std::vector<CardDesign>& cards,
             const std::function<report::TReportPage&(const QString& name)>& newPage);

    SheetLayout FLayout;
    std::shared_ptr<report::TReport> FCard;
    int FSheets = 0;
};

// Nine copies of one card (a single one for SheetKind::Card) on the sheets of `kind`, laid
// out.
std::unique_ptr<report::TReport> makeSheetDocument(const CardDesign& card, SheetKind kind);

// Writes the sheets of nine copies of `card` as one PDF, each page exactly its paper size.
// Throws lumo::UserError when no side is ticked or the file cannot be written.
void exportSheetsPdf(const CardDesign& card, SheetKind kind, const QString& path);

// Writes one PDF of a card for every contact, in their order, nine to a sheet of `kind`, the
// last sheet partly filled, as exportBatchPdf does on that sheet; with no contacts, of nine
// copies of the card `design` itself (its own QR text at its level). Returns false (and
// leaves no file) when `progress` cancelled. Throws lumo::UserError as exportBatchPdf does.
bool exportSheetsPdf(const CardState& design, const std::vector<ContactFields>& contacts, SheetKind kind,
                     const QString& path, const BatchProgress& progress = {});

// Prints the sheets of nine copies of `card` on a printer the user has set up, on the paper
// of `kind` within the printer's own margins, the grid centred on the paper all the same.
// Crop marks are cut to what the printer prints (see SheetLayout::FitMarks); returns how
// many were left out. Throws lumo::UserError when the printer refuses the paper or printing
// fails.
int printSheets(QPrinter& printer, const CardDesign& card, SheetKind kind);

// The print action: the print dialog, then `cardDocument`'s laid-out pages on card-size
// paper, or with another `kind` its sheets. A printer that refuses the card's size gets the
// sheets of its own paper (A4 or Letter) instead, with a notice saying so; crop marks left
// out get a notice too. The job is named "Cartão - " and `nameLine`. A print queue that
// does not take the job, or aborts or stops it within a few seconds, is reported as a
// lumo::UserError. Returns false when the dialog is cancelled.
bool printCardOnPaper(QWidget* parent, const report::TReport& cardDocument, const CardDesign& card,
                      SheetKind kind, const QString& nameLine);

} // namespace lumo
