#pragma once

// Reading the exporters' files back with tools other than the code under test: libqpdf for
// PDF structure, a walk over JPEG markers, poppler's pdftoppm for rasterizing.

#include <QByteArray>
#include <QImage>

#include <map>
#include <string>
#include <vector>

namespace reporttest {

struct PdfImage {
    int width = 0, height = 0, bits = 0;
    std::string filter;  // "/FlateDecode", "/DCTDecode", or empty
    bool masked = false; // has /SMask or /Mask
};

struct PdfPage {
    std::vector<double> mediaBox;
    std::vector<std::string> contentFilters; // one per content stream, empty when unfiltered
    std::vector<PdfImage> images;
    // A soft mask, a transparency group or an alpha below 1 in the page's resources: what
    // makes a printer driver flatten the page into one bitmap.
    bool transparency = false;
};

struct PdfFacts {
    std::string version;
    bool encrypted = false;
    std::map<std::string, std::string> info; // "/Author" -> text
    int embeddedFonts = 0;                   // font descriptors with /FontFile2 or /FontFile3
    std::vector<PdfPage> pages;
};
PdfFacts inspectPdf(const QByteArray& pdf);

struct JpegFacts {
    bool baseline = false; // the frame is SOF0
    int width = 0, height = 0, components = 0;
    int densityUnit = -1, xDensity = 0, yDensity = 0; // JFIF header
    std::vector<int> quantization;                    // all entries of all tables
};
JpegFacts inspectJpeg(const QByteArray& jpeg);

QByteArray readFile(const QString& path);

// One page (from 1) at dpi; null when pdftoppm is not installed.
QImage rasterizePdf(const QString& pdfPath, int dpi, int page = 1);

} // namespace reporttest
