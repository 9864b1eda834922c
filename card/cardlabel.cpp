#include "card/cardlabel.h"

#include <QPainter>

namespace lumo {

TCardLabel::TCardLabel(const QString& name, Qt::Alignment verticalAlignment, QWidget* parent)
    : QWidget(parent), FVertical(verticalAlignment) {
    setObjectName(name);
}

void TCardLabel::SetCaption(const QString& caption) {
    if (caption == FCaption)
        return;
    FCaption = caption;
    if (FPageText)
        FPageText->SetText(caption);
    update();
}

void TCardLabel::SetFontColor(const QColor& color) {
    FFontColor = color;
    if (FPageText)
        FPageText->SetFontColor(color);
    update();
}

void TCardLabel::SetPageText(const report::TMemoView& memo, double scale) {
    FPageText = memo;
    FPageText->SetText(FCaption);
    FPageText->SetFontColor(FFontColor);
    FScale = scale;
    const QRectF box(memo.Left() * scale, memo.Top() * scale, memo.Width() * scale, memo.Height() * scale);
    setGeometry(box.adjusted(-1, -box.height(), 1, box.height()).toAlignedRect());
    update();
}

void TCardLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (FPageText) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.translate(-pos());
        painter.scale(FScale, FScale);
        FPageText->Draw(painter, QRectF());
        return;
    }
    painter.setClipRect(rect());
    painter.setFont(font());
    painter.setPen(FFontColor);
    // Centring a line wider than the box spreads the overflow evenly to both sides.
    const int wide = 1 << 14;
    const QRect line(width() / 2 - wide / 2, 0, wide, height());
    painter.drawText(line, Qt::AlignHCenter | FVertical | Qt::TextSingleLine, FCaption);
}

} // namespace lumo
