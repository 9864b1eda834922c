#pragma once

#include "report/report.h"

#include <QColor>
#include <QWidget>

#include <optional>

namespace lumo {

// A text element of the card preview, without background. By itself it shows one line,
// centred horizontally and cut off at the box edges (a text too wide loses the same amount
// on both sides); given a page text object (SetPageText) it draws exactly as that object.
class TCardLabel : public QWidget {
public:
    TCardLabel(const QString& name, Qt::Alignment verticalAlignment, QWidget* parent);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& color);

    // From now on the caption is drawn exactly as the card page's text object `memo` draws
    // it, fitting included, at `scale` pixels per unit, the parent panel standing for the
    // page. The label then covers the object's box and as much again above and below it,
    // where fitted lines may reach.
    void SetPageText(const report::TMemoView& memo, double scale);
    // The caption is drawn cut, ending in "…" (only when drawn as a page text).
    bool Cut() const { return FPageText && FPageText->Fit().Cut; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
    QColor FFontColor = Qt::black;
    Qt::Alignment FVertical;
    std::optional<report::TMemoView> FPageText;
    double FScale = 1;
};

} // namespace lumo
