#pragma once

#include <QColor>
#include <QWidget>

namespace lumo {

// A text element of the card preview: one line, no background, centred horizontally,
// cut off at the box edges (a text too wide loses the same amount on both sides).
class TCardLabel : public QWidget {
public:
    TCardLabel(const QString& name, Qt::Alignment verticalAlignment, QWidget* parent);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
    QColor FFontColor = Qt::black;
    Qt::Alignment FVertical;
};

} // namespace lumo
