#include "report/report.h"

#include <QFontMetricsF>
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

// Fitted text comes down half a point at a time; a point is 96/72 units.
constexpr double kFitStep = 0.5 * kUnitsPerInch / 72;

QFont layoutFont(const QString& family, double height, bool bold) {
    QFont font(family);
    font.setPixelSize(std::max(1, int(std::lround(height * kTextScale))));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QTextOption layoutOption(Qt::Alignment alignment, QTextOption::WrapMode wrap) {
    QTextOption option(alignment);
    option.setWrapMode(wrap);
    option.setUseDesignMetrics(true);
    return option;
}

// Width of the text set on one line, in layout pixels.
double lineWidth(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.setTextOption(layoutOption(Qt::AlignLeft, QTextOption::NoWrap));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e9);
    layout.endLayout();
    return line.isValid() ? line.naturalTextWidth() : 0;
}

// The longest start of text that fits width followed by "…".
QString elided(const QString& text, const QFont& font, double width) {
    const QString ellipsis(QChar(0x2026));
    qsizetype low = 0, high = text.size(); // low always fits
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (lineWidth(text.left(mid).trimmed() + ellipsis, font) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    // A surrogate pair is not split.
    if (low > 0 && text.at(low - 1).isHighSurrogate())
        --low;
    return text.left(low).trimmed() + ellipsis;
}

} // namespace

std::unique_ptr<TReportObject> TMemoView::Clone() const {
    return std::make_unique<TMemoView>(*this);
}

struct TMemoView::TFitMemo {
    QString text, fontName;
    double fontHeight, minFontHeight, width;
    bool bold;
    TTextFit fit;
};

TTextFit TMemoView::Fit() const {
    const TFitMemo* memo = FFitMemo.get();
    if (memo && memo->text == FText && memo->fontName == FFontName && memo->fontHeight == FFontHeight &&
        memo->minFontHeight == FMinFontHeight && memo->width == Width() && memo->bold == FFontBold)
        return memo->fit;
    TTextFit fit = fitText();
    FFitMemo = std::make_shared<const TFitMemo>(
        TFitMemo{FText, FFontName, FFontHeight, FMinFontHeight, Width(), FFontBold, fit});
    return fit;
}

TTextFit TMemoView::fitText() const {
    TTextFit fit;
    const double width = (Width() - 2 * kInsetX) * kTextScale;
    if (FMinFontHeight <= 0 || FText.isEmpty() || FFontHeight <= 0 || width <= 0)
        return fit;
    // One line of the box: breaks and tabs of a pasted text count as spaces.
    QString text = FText;
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    if (text.trimmed().isEmpty())
        return fit;

    const double smallest = std::min(FMinFontHeight, FFontHeight);
    const auto lineHeight = [&](double height) {
        return QFontMetricsF(layoutFont(FFontName, height, FFontBold)).height() / kTextScale;
    };
    const double designWidth = lineWidth(text, layoutFont(FFontName, FFontHeight, FFontBold));
    if (designWidth <= width) {
        fit.FontHeight = FFontHeight;
        fit.Lines = QStringList{text};
        fit.Height = lineHeight(FFontHeight);
        return fit;
    }
    // Unhinted text narrows in proportion to its height, so the steps are tried from the one
    // just above the height at which the text should fit.
    const double predicted = FFontHeight * width / designWidth;
    for (int step = std::max(1, int(std::ceil((FFontHeight - predicted) / kFitStep)) - 1);; ++step) {
        const double height = std::max(smallest, FFontHeight - step * kFitStep);
        if (lineWidth(text, layoutFont(FFontName, height, FFontBold)) <= width) {
            fit.FontHeight = height;
            fit.Lines = QStringList{text};
            fit.Height = lineHeight(height);
            return fit;
        }
        if (height <= smallest + 1e-9)
            break;
    }

    fit.FontHeight = smallest;
    fit.Height = 2 * lineHeight(smallest);
    const QFont font = layoutFont(FFontName, smallest, FFontBold);
    const QString trimmed = text.trimmed();
    // Two lines, broken at the space that leaves the longer of them shortest. The spaces are
    // ranked by the widths of the two parts within the whole line, then measured each on its
    // own in that order; the first whose lines both fit is taken. A text over twice the
    // width cannot be broken so, whatever its spaces.
    QTextLayout whole(trimmed, font);
    whole.setTextOption(layoutOption(Qt::AlignLeft, QTextOption::NoWrap));
    whole.beginLayout();
    QTextLine line = whole.createLine();
    if (line.isValid())
        line.setLineWidth(1e9);
    whole.endLayout();
    if (line.isValid() && line.naturalTextWidth() <= 2 * width) {
        std::vector<std::pair<double, qsizetype>> breaks;
        for (qsizetype at = trimmed.indexOf(u' '); at > 0; at = trimmed.indexOf(u' ', at + 1))
            breaks.emplace_back(
                std::max(line.cursorToX(int(at)), line.naturalTextWidth() - line.cursorToX(int(at + 1))), at);
        std::stable_sort(breaks.begin(), breaks.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [approximate, at] : breaks) {
            if (approximate > width * 1.02)
                break;
            const QString first = trimmed.left(at).trimmed(), second = trimmed.mid(at + 1).trimmed();
            if (!first.isEmpty() && !second.isEmpty() && lineWidth(first, font) <= width &&
                lineWidth(second, font) <= width) {
                fit.Lines = QStringList{first, second};
                return fit;
            }
        }
    }

    // Cut: as many whole words as fit on the first line, what follows on the second as far
    // as it goes before "…". A first word wider than the line is itself cut, on one line.
    fit.Cut = true;
    qsizetype end = 0;
    for (qsizetype at = trimmed.indexOf(u' '); at > 0; at = trimmed.indexOf(u' ', at + 1)) {
        if (lineWidth(trimmed.left(at), font) > width)
            break;
        end = at;
    }
    if (end == 0) {
        fit.Lines = QStringList{elided(trimmed, font, width)};
        fit.Height = lineHeight(smallest);
        return fit;
    }
    fit.Lines = QStringList{trimmed.left(end).trimmed(), elided(trimmed.mid(end + 1).trimmed(), font, width)};
    return fit;
}

void TMemoView::Draw(QPainter& painter, const QRectF& /*pageRect*/, const TRenderOptions& /*options*/) const {
    const QRectF box(Left(), Top(), Width(), Height());
    const QRectF inner = box.adjusted(kInsetX, kInsetY, -kInsetX, -kInsetY);
    if (FText.isEmpty() || FFontHeight <= 0 || inner.width() <= 0 || inner.height() <= 0)
        return;
    if (FMinFontHeight > 0) {
        drawFitted(painter, box, inner);
        return;
    }

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

namespace report {

void TMemoView::drawFitted(QPainter& painter, const QRectF& box, const QRectF& inner) const {
    const TTextFit fit = Fit();
    if (fit.Lines.isEmpty())
        return;
    const QFont font = layoutFont(FFontName, fit.FontHeight, FFontBold);
    const double width = inner.width() * kTextScale;
    const double height = inner.height() * kTextScale;
    const double used = fit.Height * kTextScale;
    double offset = 0;
    if (used > height)
        offset = FGrowsUpward ? height - used : 0;
    else if (FVAlign == TVAlign::Center)
        offset = (height - used) / 2;
    else if (FVAlign == TVAlign::Bottom)
        offset = height - used;

    // The sides of the box bound the text; above and below, two lines may reach beyond it.
    const double reach = std::max(0.0, fit.Height - inner.height()) + box.height();
    painter.setClipRect(box.adjusted(0, -reach, 0, reach), Qt::IntersectClip);
    painter.translate(inner.topLeft());
    painter.scale(1 / kTextScale, 1 / kTextScale);
    painter.setPen(FFontColor.isValid() ? FFontColor : QColor(Qt::black));
    const double lineStep = used / fit.Lines.size();
    for (qsizetype i = 0; i < fit.Lines.size(); ++i) {
        QTextLayout layout(fit.Lines[i], font);
        layout.setTextOption(layoutOption(horizontal(FHAlign), QTextOption::NoWrap));
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (line.isValid()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, offset + double(i) * lineStep));
        }
        layout.endLayout();
        layout.draw(&painter, QPointF(0, 0));
    }
}

} // namespace report
