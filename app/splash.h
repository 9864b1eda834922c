#pragma once

// The start-up splash: the program's picture with a progress bar that grows once a second
// and closes the window on the sixth tick.

#include <QDialog>
#include <QImage>

class QFrame;
class QLabel;
class QTimer;

// Ticks of the splash's timer since the program started. The splash runs once per process,
// so the count is never reset.
extern int contador;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 640;
    static constexpr int kClientHeight = 414;
    static constexpr int kBarStep = 128;

    // At start-up the creation shows the window modally and returns only once it has
    // closed. Without the modal run (Creation::Hidden) the window is built, its timer
    // running, but neither centred nor shown: tests drive Timer1Timer by hand.
    enum class Creation { ShowModal, Hidden };
    explicit TForm2(QWidget* parent = nullptr, Creation creation = Creation::ShowModal);

    QLabel* Image1;
    QLabel* Label1;
    QFrame* Panel1;
    QTimer* Timer1;

    void FormCreate();
    void Timer1Timer();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

namespace lumo {

// The picture as the splash shows it: pure black pixels become see-through, so the desktop
// shows through them as well as through the picture's own transparent parts.
QImage withBlackSeeThrough(const QImage& picture);

} // namespace lumo
