#pragma once

#include <QColor>
#include <QWidget>

namespace lumo {

// One side of the card preview: an opaque panel painted in the side's colour, under its
// elements.
class TCardPanel : public QWidget {
public:
    TCardPanel(const QString& name, QWidget* parent);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor FColor = Qt::white;
};

} // namespace lumo
