#pragma once

#include "contact/contactimport.h"

#include <QByteArray>
#include <QString>

namespace lumo {

// A part of a file read on its own, for files read a part at a time: the number of its first
// line in the file, and whether it begins the file. A first part is checked as the file's
// start (byte-order mark, binary data, a first line other than BEGIN:VCARD); a whole file
// (the default) must also hold a contact.
struct FilePart {
    int firstLine = 1;
    bool first = true;
    bool last = true;
    // The file began with a UTF-8 byte-order mark: UTF-8 throughout (parts after the first).
    bool utf8 = false;
};

// The contacts of a vCard file (2.1, 3.0 or 4.0, any number of cards) as phones and address
// books write them. `fileName` only names the file in messages. Throws lumo::UserError when
// the bytes are not a vCard file, a card lacks its END:VCARD, or no card holds a contact.
ImportResult readVCards(const QByteArray& bytes, const QString& fileName, const FilePart& part = {});

// Where vCard bytes may be cut so that the parts read on their own exactly as the whole
// does: the end of the last line "END:VCARD" at or after `from` (a line's start) whose
// following line has begun and is not folded into it. 0 when there is none.
qsizetype vcardPartEnd(QByteArrayView bytes, qsizetype from = 0);

} // namespace lumo
