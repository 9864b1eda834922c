#pragma once

// The page boxes every PDF we write carries, so that a print shop's tools see where the card
// is cut.

#include <qpdf/QPDFObjectHandle.hh>

#include <QSizeF>

namespace report {

constexpr double kPdfPointsPerMm = 72.0 / 25.4;

// Sets the page's MediaBox to (0, 0, points), its TrimBox to that inset by `bleedMm` on every
// side (the whole page when there is no bleed) and its BleedBox to the MediaBox; a CropBox
// becomes the MediaBox and an ArtBox is removed. Values are rounded to 1/1000 point.
void setPageBoxes(QPDFObjectHandle page, const QSizeF& points, double bleedMm);

} // namespace report
