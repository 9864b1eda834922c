#pragma once

// The print-shop file: a PDF written by our renderer (RGB, as Qt's writer makes it) turned
// into PDF/X-1a:2001 for a press condition, in CMYK, with true trim and bleed boxes.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace report {

enum class TPressCondition { Fogra39, Fogra29 };

struct TPdfxOptions {
    // The bleed the pages were drawn with (2 or 3 mm on every side of the 54 × 86 mm card).
    double BleedMm = 3;
    // Crop marks outside the bleed, in the registration colour: the page grows to hold them.
    bool Marks = false;
    TPressCondition Condition = TPressCondition::Fogra39;
    QString Title; // the document's /Title; empty: "Cartão"
};

// The output condition's identifier as registered with the ICC ("FOGRA39", "FOGRA29").
QString pressConditionName(TPressCondition condition);
// The condition a command line names: "fogra39" or "fogra29", in any case; none otherwise.
std::optional<TPressCondition> pressConditionNamed(const QString& name);
// Its CMYK output profile, as embedded in the file (made from Fogra's characterization data).
QByteArray pressConditionProfile(TPressCondition condition);

// Told the share of the pages written so far, in percent; returning false cancels.
using TPdfxProgress = std::function<bool(int percent)>;

// Converts `inputPath` (a PDF of card pages of any length, read from the file as it is
// needed) into a PDF/X-1a:2001 file at `outputPath`: PDF 1.3, an output intent with the
// condition's profile, every colour and picture in DeviceCMYK (flat colours and graphics
// relative colorimetric with black-point compensation, photographs perceptual; pure black
// becomes 100 % K alone and pure white no ink), 1-bit and grey pictures left as they are,
// soft masks made hard masks, no transparency, annotations or metadata streams, and on every
// page a TrimBox inset by the bleed and a BleedBox around it.
//
// All or nothing: the target appears only complete. Returns false when `progress` cancelled
// (no file then). Throws ReportError, in Portuguese, when the input holds what cannot be
// made PDF/X-1a (an unembedded font, a pattern, a colour space other than RGB or grey, a
// page whose trim box disagrees with the bleed) or when a file cannot be read or written.
bool convertToPdfx(const QString& inputPath, const QString& outputPath, const TPdfxOptions& options,
                   const TPdfxProgress& progress = {});

// The same conversion for files of any number of pages, in pieces: each Append converts the
// pages of one PDF (as convertToPdfx takes it) and adds them to the file at `outputPath`.
// Memory stays the same however many pieces come; an object every piece holds alike (a
// picture or font every card draws) is written once and named by every page.
//
// All or nothing: the target appears only when Finish succeeds; a writer destroyed before
// (cancelled, or left by an exception) leaves no file, and an existing one as it was. Every
// method throws ReportError, in Portuguese, as convertToPdfx does; after it the writer can
// only be destroyed.
class TPdfxWriter {
public:
    TPdfxWriter(const QString& outputPath, const TPdfxOptions& options);
    ~TPdfxWriter();
    TPdfxWriter(const TPdfxWriter&) = delete;
    TPdfxWriter& operator=(const TPdfxWriter&) = delete;

    // Returns false when `progress` (the share of this piece's pages) cancelled.
    bool Append(const QString& inputPath, const TPdfxProgress& progress = {});
    int PageCount() const;
    void Finish();

private:
    struct Impl;
    QString FPath;
    std::unique_ptr<Impl> F;
};

} // namespace report
