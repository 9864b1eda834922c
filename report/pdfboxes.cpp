#include "report/pdfboxes.h"

namespace report {
namespace {

QPDFObjectHandle box(double left, double bottom, double right, double top) {
    auto real = [](double v) { return QPDFObjectHandle::newReal(v, 3, false); };
    return QPDFObjectHandle::newArray({real(left), real(bottom), real(right), real(top)});
}

} // namespace

void setPageBoxes(QPDFObjectHandle page, const QSizeF& points, double bleedMm) {
    const QPDFObjectHandle media = box(0, 0, points.width(), points.height());
    const double inset = bleedMm > 0 ? bleedMm * kPdfPointsPerMm : 0;
    page.replaceKey("/MediaBox", media);
    page.replaceKey("/BleedBox", media);
    page.replaceKey("/TrimBox",
                    inset > 0 ? box(inset, inset, points.width() - inset, points.height() - inset) : media);
    if (page.hasKey("/CropBox"))
        page.replaceKey("/CropBox", media);
    page.removeKey("/ArtBox");
}

} // namespace report
