#pragma once

// Whether the card's name and suffix fit their lines whole, as every output of the card sets
// them (preview, print, PDF, JPEG, sheets, batches).

#include <QString>

namespace lumo {

struct CardDesign;

struct CardTextCuts {
    bool name = false, suffix = false;
    bool any() const { return name || suffix; }
};

// Which of the two texts the card can show only cut, ending in "…", even at its smallest
// size on two lines.
CardTextCuts cardTextCuts(const QString& name, const QString& suffix);
CardTextCuts cardTextCuts(const CardDesign& design);

// The window's notice of cut texts; empty when nothing is cut.
QString textCutNotice(CardTextCuts cuts);

} // namespace lumo
