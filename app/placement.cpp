#include "app/placement.h"

#include <QLabel>

namespace lumo {

void widenToText(QLabel& label) {
    const int needed = label.fontMetrics().horizontalAdvance(label.text()) + 2 * label.margin() + 4;
    const int grow = needed - label.width();
    if (grow > 0) {
        const int side = (grow + 1) / 2; // the same on both sides keeps the centre
        label.setGeometry(label.geometry().adjusted(-side, 0, side, 0));
    }
}

} // namespace lumo
