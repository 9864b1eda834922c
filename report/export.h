#pragma once

#include "report/report.h"

namespace report {

class TExportFilter {
public:
    virtual ~TExportFilter() = default;
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& fileName) { FFileName = fileName; }
    // Writes the pages; all or nothing: on failure no partial file is left and existing
    // files stay as they were. Throws ReportError with a clear Portuguese message, also
    // when there are no pages (then nothing is written).
    virtual void Export(const std::vector<std::unique_ptr<TReportPage>>& pages) = 0;

private:
    QString FFileName;
};

class TPDFExport : public TExportFilter {
public:
    QString Author() const { return FAuthor; }
    void SetAuthor(const QString& v) { FAuthor = v; }
    QString Subject() const { return FSubject; }
    void SetSubject(const QString& v) { FSubject = v; }
    QString Creator() const { return FCreator; }
    void SetCreator(const QString& v) { FCreator = v; }
    // The document's /Producer; empty means the same as Creator().
    QString Producer() const { return FProducer; }
    void SetProducer(const QString& v) { FProducer = v; }
    bool Compressed() const { return FCompressed; } // content streams
    void SetCompressed(bool on) { FCompressed = on; }
    // Qt's PDF writer always embeds the fonts it draws with (a font whose licence forbids
    // embedding is drawn as outlines), so only "on" is supported.
    bool EmbeddedFonts() const { return FEmbeddedFonts; }
    void SetEmbeddedFonts(bool on) { FEmbeddedFonts = on; }
    int Quality() const { return FQuality; } // picture resolution, dots per inch
    void SetQuality(int dpi) { FQuality = dpi; }
    QString PDFVersion() const { return FPDFVersion; } // "1.4" to "1.7"
    void SetPDFVersion(const QString& v) { FPDFVersion = v; }

    // One page per laid-out page, each exactly its paper size; written through a temporary
    // file that replaces FileName() only when complete.
    void Export(const std::vector<std::unique_ptr<TReportPage>>& pages) override;
    // The same document in memory (no file is touched).
    QByteArray ExportToMemory(const std::vector<std::unique_ptr<TReportPage>>& pages) const;

private:
    QString FAuthor, FSubject, FCreator, FProducer;
    bool FCompressed = false;
    bool FEmbeddedFonts = true;
    int FQuality = 300;
    QString FPDFVersion = QStringLiteral("1.7");
};

class TJPEGExport : public TExportFilter {
public:
    int JPEGQuality() const { return FJPEGQuality; }
    void SetJPEGQuality(int q) { FJPEGQuality = q; }
    int Resolution() const { return FResolution; } // dots per inch
    void SetResolution(int dpi) { FResolution = dpi; }
    // On: one file per page, named by PageFileName. Off: one picture at FileName() with the
    // pages stacked from top to bottom.
    bool SeparateFiles() const { return FSeparateFiles; }
    void SetSeparateFiles(bool on) { FSeparateFiles = on; }

    // The file of page `number` (from 1): the chosen path with the extension of its file
    // name replaced by ".<number>.jpg", appended when the file name has no dot.
    static QString PageFileName(const QString& chosen, int number);
    // One page rendered at Resolution(): width and height round(units × dpi / 96), first
    // filled with the page colour (white when the page has none), dots per inch recorded.
    QImage RenderPage(const TReportPage& page) const;
    // A rendered picture as a JPEG file in memory: baseline, full colour, JPEGQuality().
    QByteArray EncodeJpeg(const QImage& image) const;

    // Every page is encoded in memory before any file is touched; then every file is written
    // to a temporary file beside its target, and only when all of them are complete are they
    // renamed over their targets. A failure up to that point leaves every target as it was;
    // only a failing rename itself (after all data is safely written) can leave the earlier
    // pages replaced, and that is reported too.
    void Export(const std::vector<std::unique_ptr<TReportPage>>& pages) override;

private:
    int FJPEGQuality = 90;
    int FResolution = 96;
    bool FSeparateFiles = true;
};

} // namespace report
