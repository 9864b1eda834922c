#pragma once

// A platform that answers dialogs from queues, counts beeps and records boxes, so the
// windows' handlers run headless.

#include "platform/platform.h"

#include <QList>
#include <QPageLayout>
#include <QPrinter>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class FakePlatform : public lumo::Platform {
public:
    FakePlatform() : FPrevious(lumo::setPlatform(this)) {}
    ~FakePlatform() override { lumo::setPlatform(FPrevious); }

    // Answers, taken in order; an empty queue cancels the dialog.
    std::deque<std::optional<QString>> saveAnswers, openAnswers, folderAnswers;
    std::deque<std::optional<QColor>> colorAnswers;
    std::deque<bool> printAnswers;
    // Button indexes for question boxes; an empty queue closes the box (-1).
    std::deque<int> questionAnswers;
    QStringList questions;
    // What the user sets in a confirmed print dialog (page range, copies), when given.
    std::function<void(QPrinter&)> printChoices;
    // The print action's printer takes only standard paper sizes, as many office printers do.
    bool printerRefusesCustomSizes = false;

    std::vector<lumo::SaveFileRequest> saveRequests;
    std::vector<lumo::OpenFileRequest> openRequests;
    std::vector<lumo::ColorRequest> colorRequests;
    int printDialogs = 0;
    QString printToPdf;
    QStringList messages, errors;
    int beeps = 0;
    QString clipboard;
    bool clipboardFails = false;
    QList<QUrl> urls;

    std::optional<QString> saveFileName(QWidget*, const lumo::SaveFileRequest& r) override {
        saveRequests.push_back(r);
        return take(saveAnswers);
    }
    std::optional<QString> openFileName(QWidget*, const lumo::OpenFileRequest& r) override {
        openRequests.push_back(r);
        return take(openAnswers);
    }
    std::optional<QString> folderName(QWidget*, const QString&) override { return take(folderAnswers); }
    std::optional<QColor> color(QWidget*, const lumo::ColorRequest& r) override {
        colorRequests.push_back(r);
        return take(colorAnswers);
    }
    bool printDialog(QWidget*, QPrinter& printer) override {
        ++printDialogs;
        if (printAnswers.empty())
            return false;
        const bool answer = printAnswers.front();
        printAnswers.pop_front();
        // A confirmed dialog "prints" into a PDF file the test can read back.
        if (answer && !printToPdf.isEmpty()) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printToPdf);
        }
        if (answer && printChoices)
            printChoices(printer);
        return answer;
    }
    std::unique_ptr<QPrinter> makePrinter() override {
        if (!printerRefusesCustomSizes)
            return lumo::Platform::makePrinter();
        return std::make_unique<StandardSizesPrinter>();
    }
    void message(QWidget*, const QString& text) override { messages << text; }
    void error(QWidget*, const QString& text) override { errors << text; }
    int question(QWidget*, const QString& text, const QStringList&, int) override {
        questions << text;
        if (questionAnswers.empty())
            return -1;
        const int answer = questionAnswers.front();
        questionAnswers.pop_front();
        return answer;
    }
    void beep() override { ++beeps; }
    void setClipboardText(const QString& text) override {
        if (clipboardFails)
            throw lumo::UserError(QStringLiteral("Não foi possível abrir a área de transferência."));
        clipboard = text;
    }
    void openUrl(const QUrl& url) override { urls << url; }

private:
    class StandardSizesPrinter : public QPrinter {
    public:
        StandardSizesPrinter() : QPrinter(QPrinter::HighResolution) {}
        bool setPageLayout(const QPageLayout& layout) override {
            return layout.pageSize().id() != QPageSize::Custom && QPrinter::setPageLayout(layout);
        }
    };

// GCC 12 at -O3 wrongly reports the moved-from optional below as maybe uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
    template <class T> static std::optional<T> take(std::deque<std::optional<T>>& queue) {
        if (queue.empty())
            return std::nullopt;
        auto answer = queue.front();
        queue.pop_front();
        return answer;
    }
#pragma GCC diagnostic pop
    lumo::Platform* FPrevious;
};
