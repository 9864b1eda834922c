#pragma once

// Who makes Lumo Card, in one place: the about box's credit and contact lines and the
// package metadata (app/CMakeLists.txt reads the three strings from this file) use these.

namespace lumo {

inline constexpr char16_t kMakerName[] = u"Estúdio Lumo";
inline constexpr char16_t kMakerWeb[] = u"https://lumocard.example/";
inline constexpr char16_t kMakerMail[] = u"contato@lumocard.example";

} // namespace lumo
