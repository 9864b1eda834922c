#pragma once

// Invariants of the contacts any imported file gives, shared by the reader targets.

#include "contact/importrules.h"

#include "fuzzcheck.h"

// Every contact holds something beyond spaces; no box holds a CR or another control
// character but tab and LF; phone, site and e-mail hold no line break at all.
inline void checkImportedBoxes(lumo::ContactFields contact) {
    CHECK(lumo::hasAnyBox(contact));
    for (const QString* box : lumo::boxesOf(contact)) {
        const bool singleLine =
            box == &contact.fixo || box == &contact.celular || box == &contact.site || box == &contact.email;
        for (const QChar c : *box) {
            CHECK(c != u'\r');
            CHECK(!singleLine || c != u'\n');
            CHECK(c == u'\t' || c == u'\n' ||
                  (c.unicode() >= 0x20 && (c.unicode() < 0x7F || c.unicode() > 0x9F)));
        }
    }
}

inline bool sameBoxes(lumo::ContactFields a, lumo::ContactFields b) {
    const std::vector<QString*> x = lumo::boxesOf(a), y = lumo::boxesOf(b);
    for (size_t i = 0; i < x.size(); ++i)
        if (*x[i] != *y[i])
            return false;
    return true;
}
