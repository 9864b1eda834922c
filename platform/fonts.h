#pragma once

namespace lumo {

// The windows ask for "Segoe UI", "Tahoma" and "Arial" by name. Where those are missing,
// a font of similar width stands in, so captions fit the places laid out for them.
void installFontSubstitutes();

} // namespace lumo
