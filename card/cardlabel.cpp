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
    update();
}

void TCardLabel::SetFontColor(const QColor& color) {
    FFontColor = color;
    update();
}

void TCardLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setClipRect(rect());
    painter.setFont(font());
    painter.setPen(FFontColor);
    // Centring a line wider than the box spreads the overflow evenly to both sides.
    const int wide = 1 << 14;
    const QRect line(width() / 2 - wide / 2, 0, wide, height());
    painter.drawText(line, Qt::AlignHCenter | FVertical | Qt::TextSingleLine, FCaption);
}

} // namespace lumo
