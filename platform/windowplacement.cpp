#include "platform/windowplacement.h"

#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace lumo {

namespace {

// Watches one window from its next show until it is first exposed, then goes away.
class CentreWhenShown final : public QObject {
public:
    explicit CentreWhenShown(QWidget* window) : QObject(window), FWindow(window) {
        window->installEventFilter(this);
        if (window->isVisible())
            watchNativeWindow();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == FWindow && event->type() == QEvent::Show) {
            centreOnScreen(*FWindow);
            watchNativeWindow();
        } else if (FNative && watched == FNative && event->type() == QEvent::Expose && FNative->isExposed()) {
            centreOnScreen(*FWindow);
            deleteLater();
        }
        return false;
    }

private:
    void watchNativeWindow() {
        QWindow* native = FWindow->windowHandle();
        if (native && native != FNative) {
            FNative = native;
            native->installEventFilter(this);
        }
    }

    QWidget* FWindow;
    QPointer<QWindow> FNative;
};

} // namespace

void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    // A maximised window fills the screen where the window system put it.
    if (!screen || window.isMaximized() || window.isFullScreen())
        return;
    const QSize area = screen->geometry().size();
    const QSize outer = window.frameGeometry().size();
    // C++ division truncates toward zero, which is what a window larger than the screen needs.
    window.move((area.width() - outer.width()) / 2, (area.height() - outer.height()) / 2);
}

void centreOnScreenWhenShown(QWidget* window) {
    // One watcher at a time: a second call while one waits changes nothing.
    for (QObject* child : window->children())
        if (dynamic_cast<CentreWhenShown*>(child))
            return;
    new CentreWhenShown(window);
}

} // namespace lumo
