#pragma once

#include "report/report.h"

namespace report {

class TExportFilter {
public:
    virtual ~TExportFilter() = default;
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& fileName) { FFileName = fileName; }
    // Writes the pages; all or nothing: on failure no partial file is left and existing
    // files stay as they were. Throws ReportError with a clear Portuguese message.
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
    bool Compressed() const { return FCompressed; } // content streams
    void SetCompressed(bool on) { FCompressed = on; }
    bool EmbeddedFonts() const { return FEmbeddedFonts; }
    void SetEmbeddedFonts(bool on) { FEmbeddedFonts = on; }
    int Quality() const { return FQuality; } // picture resolution, dots per inch
    void SetQuality(int dpi) { FQuality = dpi; }
    QString PDFVersion() const { return FPDFVersion; }
    void SetPDFVersion(const QString& v) { FPDFVersion = v; }

    void Export(const std::vector<std::unique_ptr<TReportPage>>& pages) override;

private:
    QString FAuthor, FSubject, FCreator;
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
    bool SeparateFiles() const { return FSeparateFiles; }
    void SetSeparateFiles(bool on) { FSeparateFiles = on; }

    // The file of page `number` (from 1): the chosen path with the extension of its file
    // name replaced by ".<number>.jpg", appended when the file name has no dot.
    static QString PageFileName(const QString& chosen, int number);
    // One page rendered at Resolution(): width and height round(units × dpi / 96).
    QImage RenderPage(const TReportPage& page) const;

    void Export(const std::vector<std::unique_ptr<TReportPage>>& pages) override;

private:
    int FJPEGQuality = 90;
    int FResolution = 96;
    bool FSeparateFiles = true;
};

} // namespace report
