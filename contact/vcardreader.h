#pragma once

#include "contact/contactimport.h"

#include <QByteArray>
#include <QString>

namespace lumo {

// The contacts of a vCard file (2.1, 3.0 or 4.0, any number of cards) as phones and address
// books write them. `fileName` only names the file in messages. Throws lumo::UserError when
// the bytes are not a vCard file, a card lacks its END:VCARD, or no card holds a contact.
ImportResult readVCards(const QByteArray& bytes, const QString& fileName);

} // namespace lumo
