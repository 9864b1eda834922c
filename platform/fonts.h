#pragma once

namespace lumo {

// The windows ask for "Segoe UI", "Tahoma" and "Arial" by name. Where those are missing,
// a font of similar width stands in, so captions fit the places laid out for them.
void installFontSubstitutes();

// Makes the "icomoon" family of the card's icon available, once per process: the embedded
// font is written as icomoon.ttf to the folder in TEMP, or to a folder of the user's own
// when TEMP is unset (the runtime folder, else the cache folder), and registered from there.
// A link standing at that name is replaced, never followed. When the file cannot be written
// the embedded copy is registered from memory and the icon shows all the same, so nothing is
// said; lumo::UserError is thrown only when the family cannot be registered at all.
void installIconFont();

} // namespace lumo
