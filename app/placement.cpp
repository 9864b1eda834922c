#include "app/placement.h"

#include <QLabel>
#include <QScreen>
#include <QWidget>

namespace lumo {

void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QSize area = screen->geometry().size();
    const QSize outer = window.frameGeometry().size();
    // C++ division truncates toward zero, which is what a window larger than the screen needs.
    window.move((area.width() - outer.width()) / 2, (area.height() - outer.height()) / 2);
}

void widenToText(QLabel& label) {
    const int needed = label.fontMetrics().horizontalAdvance(label.text()) + 2 * label.margin() + 4;
    const int grow = needed - label.width();
    if (grow > 0) {
        const int side = (grow + 1) / 2; // the same on both sides keeps the centre
        label.setGeometry(label.geometry().adjusted(-side, 0, side, 0));
    }
}

} // namespace lumo
