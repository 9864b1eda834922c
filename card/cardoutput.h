#pragma once

// The two card documents (without and with bleed) and what the PDF and JPEG actions use.

#include "report/export.h"
#include "report/report.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <memory>

namespace lumo {

// What the outputs read from the preview at the moment they run.
struct CardDesign {
    bool front = true, back = false, bleed = false, icon = false;
    QColor frontColor = Qt::white, backColor = Qt::white;
    QColor nameColor = Qt::black, suffixColor = Qt::black;
    QString name, suffix;
    QImage frontBackground, backBackground, logo, qr;
};

// The card document with its pages "frente" and "verso": 54 × 86 mm, or 55 × 87 mm with bleed.
std::unique_ptr<report::TReport> makeCardDocument(bool bleed);
// The same card with `bleedMm` of bleed on every side, as a print shop asks for (2 or 3 mm):
// the backgrounds cover the whole page, everything else keeps its place measured from the
// trim.
std::unique_ptr<report::TReport> makeBleedCardDocument(double bleedMm);

// The PDF exporter with the program's document information.
std::unique_ptr<report::TPDFExport> makePdfExport();

// Copies the design into the document's pages and objects; every value is set again, so
// nothing of an earlier output carries over.
void fillCardDocument(report::TReport& document, const CardDesign& design);

} // namespace lumo
