#include "app/anchors.h"

namespace lumo {

void AnchorSet::add(QWidget* child, QRect designRect, Anchors anchors) {
    child->setGeometry(designRect);
    FEntries.push_back({child, designRect, anchors});
}

void AnchorSet::apply(QSize parentSize, QPoint origin) const {
    const int dx = parentSize.width() - FDesign.width();
    const int dy = parentSize.height() - FDesign.height();
    for (const Entry& e : FEntries) {
        QRect r = e.rect;
        if (e.anchors & akRight) {
            if (e.anchors & akLeft)
                r.setWidth(r.width() + dx);
            else
                r.moveLeft(r.left() + dx);
        }
        if (e.anchors & akBottom) {
            if (e.anchors & akTop)
                r.setHeight(r.height() + dy);
            else
                r.moveTop(r.top() + dy);
        }
        e.widget->setGeometry(r.translated(origin));
    }
}

} // namespace lumo
