#pragma once

// Placing the shell's small windows and their captions.

#include "platform/windowplacement.h" // centreOnScreen, centreOnScreenWhenShown

class QLabel;

namespace lumo {

// Widens a centred caption about its centre when the font in use needs more room than the
// designed box, so a substitute for the designed face never clips the text.
void widenToText(QLabel& label);

} // namespace lumo
