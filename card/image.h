#pragma once

// A picture element of the card preview: holds a picture and draws it in its box by one
// of the placement rules of the card.

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace lumo {

enum class Placement {
    Fill,       // stretched to the whole box, aspect ratio not kept
    Fit,        // scaled up or down by one factor to fit the box, centred
    ShrinkOnly, // like Fit, but never enlarged
};

// Where a picture of `pictureSize` lands in a box of `boxSize` under `placement`.
QRect placePicture(QSize pictureSize, QSize boxSize, Placement placement);

class TImage : public QWidget {
public:
    TImage(const QString& name, Placement placement, QWidget* parent);
    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& picture);
    bool Empty() const { return FPicture.isNull(); }
    Placement PicturePlacement() const { return FPlacement; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FPicture;
    Placement FPlacement;
    // The picture scaled for the current box, made once per picture and size rather than
    // on every paint (the QR picture is 2000 × 2000).
    QPixmap FScaled;
    QRect FScaledRect;
};

} // namespace lumo
