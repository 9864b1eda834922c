#pragma once

// Invariants of the contacts any imported file gives, shared by the reader targets.

#include "contact/contactimport.h"
#include "contact/importrules.h"
#include "platform/errors.h"

#include "fuzzcheck.h"

#include <QBuffer>

#include <functional>
#include <string>

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

// Reads `bytes` whole with `read`, and again a part at a time through ContactFileReader (parts
// of 1 to 64 bytes, as the input chooses): both give the same contacts and ignored lines, or
// the same error. Returns the whole reading; `error` gets the message when it failed.
inline lumo::ImportResult readWholeAndInParts(const QByteArray& bytes, bool vcard, const QString& name,
                                              const std::function<lumo::ImportResult()>& read,
                                              std::string& error) {
    lumo::ImportResult whole;
    error.clear();
    try {
        whole = read();
    } catch (const lumo::UserError& e) {
        error = e.what();
    }
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    const qint64 partBytes = 1 + (bytes.isEmpty() ? 0 : static_cast<unsigned char>(bytes.back()) % 64);
    lumo::ContactFileReader reader(std::move(buffer), name, vcard, partBytes);
    std::vector<lumo::ContactFields> contacts;
    std::string partsError;
    try {
        const int count = reader.count();
        while (std::optional<lumo::ContactFields> contact = reader.next())
            contacts.push_back(std::move(*contact));
        CHECK(int(contacts.size()) == count);
    } catch (const lumo::UserError& e) {
        partsError = e.what();
    }
    CHECK(partsError == error);
    if (error.empty()) {
        CHECK(contacts.size() == whole.contacts.size() && reader.skippedLines() == whole.skippedLines);
        for (size_t i = 0; i < contacts.size(); ++i)
            CHECK(sameBoxes(contacts[i], whole.contacts[i]));
        // The ignored lines told are the same, with the same numbers, wherever the file is cut.
        const std::vector<lumo::SkippedLine> told = reader.firstSkipped();
        CHECK(told.size() == whole.firstSkipped.size());
        for (size_t i = 0; i < told.size(); ++i)
            CHECK(told[i].line == whole.firstSkipped[i].line && told[i].reason == whole.firstSkipped[i].reason);
    }
    return whole;
}
