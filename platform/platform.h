#pragma once

// The thin layer over the platform's services: dialogs, message boxes, the beep, the
// clipboard, opening URLs and the print dialog. Every handler reaches them through
// lumo::platform(), so tests can install a double that answers dialogs and counts beeps.

#include "platform/errors.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QPrinter;
class QWidget;
class QObject;

namespace lumo {

class PrintQueues;

using CustomColors = std::array<QColor, 16>;

struct SaveFileRequest {
    QString dialogName;    // objectName of the dialog component ("SaveDialog1", ...)
    QString fileName;      // preset file name
    QString defaultSuffix; // added when the typed name has none
    QString filter;        // e.g. "JPEG (*jpg)"
};

struct OpenFileRequest {
    QString dialogName;
    QString filter;
};

struct ColorRequest {
    QString dialogName;
    QColor initial;
    CustomColors* customColors; // read before, written back after the dialog
};

class Platform {
public:
    virtual ~Platform() = default;
    // Each dialog returns nothing when the user cancels.
    virtual std::optional<QString> saveFileName(QWidget* parent, const SaveFileRequest& request) = 0;
    virtual std::optional<QString> openFileName(QWidget* parent, const OpenFileRequest& request) = 0;
    // A folder chosen in the dialog named `dialogName`; none when cancelled (or, by default,
    // on a platform without folder dialogs).
    virtual std::optional<QString> folderName(QWidget* parent, const QString& dialogName);
    virtual std::optional<QColor> color(QWidget* parent, const ColorRequest& request) = 0;
    virtual bool printDialog(QWidget* parent, QPrinter& printer) = 0;
    // The printer the print action sets up in printDialog: a high-resolution QPrinter.
    virtual std::unique_ptr<QPrinter> makePrinter();
    // The print system's queues, asked whether a queue takes jobs and what became of one sent.
    virtual PrintQueues& printQueues();
    // Plain information box with the application title as caption and one OK button.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // The default error handler's box.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // A question box with the application title as caption and the given buttons, the
    // first at `defaultButton` taken by Enter. Returns the index of the button pressed, or -1
    // when the box was closed without one.
    virtual int question(QWidget* parent, const QString& text, const QStringList& buttons,
                         int defaultButton) = 0;
    virtual void beep() = 0;
    // Throws std::runtime_error when the clipboard cannot take the text.
    virtual void setClipboardText(const QString& text) = 0;
    virtual void openUrl(const QUrl& url) = 0;
};

// The platform in use; the real one unless a test installed another.
Platform& platform();
// Installs `replacement` (nullptr restores the real platform). Returns the previous one.
Platform* setPlatform(Platform* replacement);

// Runs one handler the way the program's event loop does: an error leaving it is shown
// by the default error handler and the program goes on.
void runGuarded(QWidget* parent, const std::function<void()>& handler);

} // namespace lumo
