#include "report/report.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace report {
namespace {

constexpr double kInsetX = 2; // units, left and right
constexpr double kInsetY = 1; // units, top and bottom

// Text is laid out this many times larger and drawn scaled down: QFont takes whole pixel
// sizes only, and on the finer grid hinting cannot move the line breaks, so print, PDF and
// JPEG break the lines alike.
constexpr double kTextScale = 64;

Qt::Alignment horizontal(THAlign align) {
    switch (align) {
    case THAlign::Center:
        return Qt::AlignHCenter;
    case THAlign::Right:
        return Qt::AlignRight;
    case THAlign::Left:
        break;
    }
    return Qt::AlignLeft;
}

} // namespace

std::unique_ptr<TReportObject> TMemoView::Clone() const {
    return std::make_unique<TMemoView>(*this);
}

void TMemoView::Draw(QPainter& painter, const QRectF& /*pageRect*/, const TRenderOptions& /*options*/) const {
    const QRectF box(Left(), Top(), Width(), Height());
    const QRectF inner = box.adjusted(kInsetX, kInsetY, -kInsetX, -kInsetY);
    if (FText.isEmpty() || FFontHeight <= 0 || inner.width() <= 0 || inner.height() <= 0)
        return;

    QFont font(FFontName);
    font.setPixelSize(std::max(1, int(std::lround(FFontHeight * kTextScale))));
    font.setBold(FFontBold);
    font.setHintingPreference(QFont::PreferNoHinting);

    QString text = FText;
    text.replace(QStringLiteral("\r\n"), QChar(QChar::LineSeparator));
    text.replace(QChar('\n'), QChar(QChar::LineSeparator));
    text.replace(QChar('\r'), QChar(QChar::LineSeparator));

    QTextOption option(horizontal(FHAlign));
    option.setWrapMode(QTextOption::WordWrap);
    option.setUseDesignMetrics(true);
    QTextLayout layout(text, font);
    layout.setTextOption(option);

    const double width = inner.width() * kTextScale;
    const double height = inner.height() * kTextScale;
    int fitting = 0;
    double y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        if (y <= height * (1 + 1e-9))
            fitting = line.lineNumber() + 1;
    }
    layout.endLayout();
    if (layout.lineCount() == 0)
        return;

    // Whole lines only: a line cut through the middle would leave slivers of its letters.
    const int shown = std::max(1, fitting);
    const double used = layout.lineAt(shown - 1).rect().bottom();
    double offset = 0;
    if (FVAlign == TVAlign::Center)
        offset = (height - used) / 2;
    else if (FVAlign == TVAlign::Bottom)
        offset = height - used;

    painter.setClipRect(box, Qt::IntersectClip);
    painter.translate(inner.topLeft());
    painter.scale(1 / kTextScale, 1 / kTextScale);
    painter.setPen(FFontColor.isValid() ? FFontColor : QColor(Qt::black));
    for (int i = 0; i < shown; ++i)
        layout.lineAt(i).draw(&painter, QPointF(0, offset));
}

} // namespace report
