#pragma once

// The program's command line: what it asks for, and the requests that run without a window
// (help, version, batches), so they work without a display.

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
    // A document to open in the window.
    QString document;
    // Why the command line cannot be followed; empty when it can.
    QString error;

    bool headless() const { return help || version || !batchContacts.isEmpty() || !error.isEmpty(); }
};

// Reads the arguments after the program's name.
CommandLine parseCommandLine(const QStringList& arguments);

// The help text, in Portuguese.
QString commandLineHelp();

// Runs a headless request and returns the process's exit status: 0 on success, 1 when the
// work failed, 2 for a command line that cannot be followed.
int runHeadless(const CommandLine& commandLine, int argc, char* argv[]);

} // namespace lumo
