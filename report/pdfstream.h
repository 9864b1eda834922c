#pragma once

// A PDF written page by page, for documents too long to hold in memory (a batch of cards).

#include "report/export.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QSizeF>

#include <functional>
#include <memory>
#include <vector>

namespace report {

// Draws each page as it is added into Qt's writer, which writes straight to a temporary file
// beside the target; Finish then copies that file into the target, setting on the way what Qt
// cannot: the exact page boxes (Qt writes whole points), the PDF version and the document
// information. Qt's writer keeps a few bytes for every object it has written until it ends, so
// it is started afresh every pagesPerPart pages, each time into a file of its own, and Finish
// joins the parts into one document, numbering their objects one after the other. Memory thus
// stays the same however many pages are added (the pages' sizes and one part's object offsets
// are kept), and Finish takes the same time per page however many there are.
//
// The target is written through QSaveFile: it appears only complete, an existing file stays
// as it was until then, and a stream destroyed without Finish (cancelled, or left by an
// exception) leaves no file behind. On Linux Qt's file has no name (O_TMPFILE), so even a
// process killed outright leaves nothing in the target's folder. Page contents are stored
// compressed, whatever TPDFExport::Compressed says.
class TPdfPageStream {
public:
    static constexpr int kPagesPerPart = 10000;
    // Takes the document information, picture resolution and version from `settings`; Qt's
    // writer starts afresh after every `pagesPerPart` pages. Throws ReportError when the
    // temporary file cannot be made beside `path`.
    TPdfPageStream(const TPDFExport& settings, const QString& path, int pagesPerPart = kPagesPerPart);
    ~TPdfPageStream();
    TPdfPageStream(const TPdfPageStream&) = delete;
    TPdfPageStream& operator=(const TPdfPageStream&) = delete;

    // Draws one page, exactly its paper size.
    void AddPage(const TReportPage& page);
    int PageCount() const { return FPageCount; }
    // Writes the target. `keepGoing`, when given, is asked every few pages of the copy;
    // returning false stops it, and Finish returns false with the target as it was. Throws
    // ReportError naming the path and the reason, also when no page was added; the target is
    // then as it was.
    bool Finish(const std::function<bool()>& keepGoing = {});

private:
    // Pages of one exact size and bleed, in the order they were added.
    struct SizeRun {
        QSizeF points;
        double bleedMm;
        int count;
    };

    // Opens a new file for Qt's writer and starts the writer on it.
    void StartPart();
    // Ends Qt's writer, keeping its file for Finish.
    void EndPart();
    // Joins the parts into the target.
    bool Join(const std::function<bool()>& stopped);

    QString FPath;
    QString FAuthor, FSubject, FCreator, FProducer, FVersion;
    double FPictureDpi;
    // Qt's files, each a whole PDF of some pages: unnamed where the system allows it, else
    // QTemporaryFiles. The last one is the one being written.
    std::vector<std::unique_ptr<QFile>> FParts;
    int FPagesPerPart;
    int FPagesInPart = 0;
    std::unique_ptr<QPdfWriter> FWriter;
    QPainter FPainter;
    QSizeF FWriterPage;
    std::vector<SizeRun> FSizes;
    int FPageCount = 0;
};

} // namespace report
