#pragma once

// Placing top-level windows on their screen.

class QWidget;

namespace lumo {

// Puts a top-level window in the middle of its screen by its outer size (frame included):
// Left = (screen width - outer width) div 2, Top likewise.
void centreOnScreen(QWidget& window);

// Centres the window on its screen when it is next shown, and once more when it first
// appears there: only then has the window manager put its frame around it, and before that
// the window would be centred by its inner size. Can be called before the window exists
// natively, from its constructor or its show handler.
void centreOnScreenWhenShown(QWidget* window);

} // namespace lumo
