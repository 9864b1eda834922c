#pragma once

namespace lumo {

// What the card is printed on: pages of the card's own size, or sheets of office paper
// holding nine cards each.
enum class SheetKind { Card, A4, Letter };

} // namespace lumo
