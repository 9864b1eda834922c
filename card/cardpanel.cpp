#include "card/cardpanel.h"

#include <QPainter>

namespace lumo {

TCardPanel::TCardPanel(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCardPanel::SetColor(const QColor& color) {
    FColor = color;
    update();
}

void TCardPanel::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), FColor);
}

} // namespace lumo
