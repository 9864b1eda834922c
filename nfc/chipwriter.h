#pragma once

// Writing one contact to the chip in a reader: the vCard as an NDEF MIME record "text/vcard",
// or the site's address as a URI record when the vCard does not fit and the user takes that,
// then the read-back that proves it.

#include "nfc/pcsc.h"
#include "nfc/tag.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace lumo {

// The NDEF message of a vCard: one MIME record "text/vcard" with exactly these bytes.
QByteArray vcardMessage(const QByteArray& vcard);
// The address a site box stands for: as typed when it has a scheme, else "https://" and it.
QString siteUri(const QString& site);

struct ChipWriteRequest {
    QByteArray vcard; // the card's QR bytes
    QString site;     // the site box; empty when there is none
    bool lock = false;
    // Asked, with the sizes, when the vCard does not fit and there is a site: true writes the
    // site's address instead. Unset means never.
    std::function<bool(const QString& question)> offerSite;
};

struct ChipWriteResult {
    QString model;
    QByteArray uid;
    bool siteOnly = false;
    int written = 0;  // bytes of the message
    int areaSize = 0; // the chip's bytes for messages
    bool locked = false;
    // The user turned down the site's address: nothing was written.
    bool declined = false;
    // "Gravado e conferido: 312 de 496 bytes"
    QString summary() const;
};

// Connects to the chip in `reader`, writes, reads back and compares, locks when asked.
// Throws UserError with the reason when nothing or not all was written (chip refused, too
// small, removed, read-back differs); returns only after the read-back matched, or with
// `declined` when the user turned the site down.
ChipWriteResult writeContactChip(PcscContext& context, const QString& reader,
                                 const ChipWriteRequest& request);

// The UID of the chip in `reader`, empty when the reader does not tell.
QByteArray chipUid(PcscContext& context, const QString& reader);

} // namespace lumo
