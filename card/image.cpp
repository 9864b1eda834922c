#include "card/image.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace lumo {

QRect placePicture(QSize pictureSize, QSize boxSize, Placement placement) {
    if (pictureSize.isEmpty() || boxSize.isEmpty())
        return {};
    if (placement == Placement::Fill)
        return QRect(QPoint(0, 0), boxSize);
    double scale = std::min(double(boxSize.width()) / pictureSize.width(),
                            double(boxSize.height()) / pictureSize.height());
    if (placement == Placement::ShrinkOnly)
        scale = std::min(scale, 1.0);
    const int w = std::max(1, int(std::lround(pictureSize.width() * scale)));
    const int h = std::max(1, int(std::lround(pictureSize.height() * scale)));
    return QRect((boxSize.width() - w) / 2, (boxSize.height() - h) / 2, w, h);
}

TImage::TImage(const QString& name, Placement placement, QWidget* parent)
    : QWidget(parent), FPlacement(placement) {
    setObjectName(name);
}

void TImage::SetPicture(const QImage& picture) {
    FPicture = picture;
    FScaled = QPixmap();
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (FPicture.isNull())
        return;
    const QRect target = placePicture(FPicture.size(), size(), FPlacement);
    if (target.isEmpty())
        return;
    if (FScaled.isNull() || FScaledRect != target) {
        const qreal dpr = devicePixelRatioF();
        const QSize pixels = (QSizeF(target.size()) * dpr).toSize();
        FScaled =
            QPixmap::fromImage(FPicture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        FScaled.setDevicePixelRatio(dpr);
        FScaledRect = target;
    }
    QPainter painter(this);
    painter.drawPixmap(target.topLeft(), FScaled);
}

} // namespace lumo
