#pragma once

// A platform that answers dialogs from queues, counts beeps and records boxes, so the
// windows' handlers run headless.

#include "platform/platform.h"

#include <QList>
#include <QPageLayout>
#include <QPrinter>
#include <QStringList>

#include <algorithm>
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
    // The print action's printer declares the unprintable band of an office printer's driver
    // (12 pt on every side, as many do). One that refuses custom sizes takes only standard
    // paper (those in `printerPapers`, when given) and, as such drivers do, no layout with
    // margins narrower than its own.
    bool printerRefusesCustomSizes = false;
    double printerMarginPoints = 12;
    QList<QPageSize::PageSizeId> printerPapers;

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
            declareMargins(printer);
        }
        if (answer && printChoices)
            printChoices(printer);
        return answer;
    }
    std::unique_ptr<QPrinter> makePrinter() override {
        std::unique_ptr<QPrinter> printer =
            printerRefusesCustomSizes
                ? std::make_unique<StandardSizesPrinter>(printerMarginPoints, printerPapers)
                : lumo::Platform::makePrinter();
        declareMargins(*printer);
        return printer;
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
    void declareMargins(QPrinter& printer) const {
        const double m = printerMarginPoints;
        printer.setPageMargins(QMarginsF(m, m, m, m), QPageLayout::Point);
    }
    class StandardSizesPrinter : public QPrinter {
    public:
        StandardSizesPrinter(double margin, QList<QPageSize::PageSizeId> papers)
            : QPrinter(QPrinter::HighResolution), FMargin(margin), FPapers(std::move(papers)) {}
        bool setPageLayout(const QPageLayout& layout) override {
            const QMarginsF asked = layout.margins(QPageLayout::Point);
            const double narrowest =
                std::min({asked.left(), asked.top(), asked.right(), asked.bottom()}) + 1e-3;
            return takes(layout.pageSize()) && narrowest >= FMargin && QPrinter::setPageLayout(layout);
        }
        bool setPageSize(const QPageSize& size) override {
            return takes(size) && QPrinter::setPageSize(size);
        }
        bool setPageMargins(const QMarginsF& margins, QPageLayout::Unit units) override {
            QPageLayout layout = pageLayout();
            layout.setUnits(units);
            layout.setMargins(margins);
            return setPageLayout(layout);
        }

    private:
        bool takes(const QPageSize& size) const {
            return size.id() != QPageSize::Custom && (FPapers.isEmpty() || FPapers.contains(size.id()));
        }
        double FMargin;
        QList<QPageSize::PageSizeId> FPapers;
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
