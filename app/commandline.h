#pragma once

// The program's command line: what it asks for, and the requests that run without a window
// (help, version, batches, the print shop's file, NFC chips), so they work without a display.

#include "card/sheetkind.h"
#include "qrcode/qrcodegenerator.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace lumo {

struct CommandLine {
    bool help = false, version = false;
    // Set with --batch: make cards of every contact of this file, no window.
    QString batchContacts;
    QString design, output;
    // With --sheet and --ec: the paper and the QR level, over those of the design.
    std::optional<SheetKind> sheet;
    std::optional<TQRErrorCorrection> qrLevel;
    // With --batch: --columns maps a spreadsheet's columns to the boxes; --dry-run reads,
    // maps and shows the first contacts, writing nothing; --each writes one PDF per contact
    // into a folder instead of --output.
    QString columns;
    bool dryRun = false;
    QString eachFolder;
    // With --pdfx: the print shop's PDF/X file, of the batch or of the card document given
    // alone, with --bleed (2 or 3 mm), --marks and --condition.
    bool pdfx = false;
    double bleedMm = 3;
    bool marks = false;
    QString condition;
    // Set with --nfc: write this card document's vCard to an NFC chip, no window; --reader
    // names the reader, --timeout the seconds to wait for a chip.
    QString nfcDocument;
    QString reader;
    int timeoutSeconds = 30;
    // A document to open in the window (with --pdfx, the card to convert).
    QString document;
    // Why the command line cannot be followed; empty when it can.
    QString error;

    bool headless() const {
        return help || version || pdfx || !batchContacts.isEmpty() || !nfcDocument.isEmpty() ||
               !error.isEmpty();
    }
};

// Reads the arguments after the program's name.
CommandLine parseCommandLine(const QStringList& arguments);

// The help text, in Portuguese.
QString commandLineHelp();

// Runs a headless request and returns the process's exit status: 0 on success, 1 when the
// work failed, 2 for a command line that cannot be followed.
int runHeadless(const CommandLine& commandLine, int argc, char* argv[]);

} // namespace lumo
