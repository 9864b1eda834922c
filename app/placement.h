#pragma once

// Placing the shell's small windows and their captions.

class QLabel;
class QWidget;

namespace lumo {

// Puts a top-level window in the middle of its screen by its outer size (frame included):
// Left = (screen width - outer width) div 2, Top likewise.
void centreOnScreen(QWidget& window);

// Widens a centred caption about its centre when the font in use needs more room than the
// designed box, so a substitute for the designed face never clips the text.
void widenToText(QLabel& label);

} // namespace lumo
