#pragma once

// NFC Forum tags holding an NDEF message: Type 2 (NTAG21x, Ultralight) through the PC/SC
// storage-card commands of contactless readers, Type 4 through ISO 7816-4 files. Other chips
// (MIFARE Classic, payment cards) are recognised and refused before anything is written.

#include "nfc/pcsc.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace lumo {

enum class TagType { Type2, Type4 };

struct TagInfo {
    TagType type = TagType::Type2;
    // "NTAG213", "NTAG215", "NTAG216", "Ultralight", "Type 2" or "Type 4".
    QString model;
    // Bytes of the data area (Type 2) or of the NDEF file (Type 4).
    int areaSize = 0;
    // The longest NDEF message the chip holds.
    int capacity = 0;
    bool readOnly = false;
};

class NdefTag {
public:
    virtual ~NdefTag() = default;

    // Identifies the chip on `channel` by its ATR (as PC/SC readers report contactless chips)
    // and its answers. A blank NTAG or Ultralight, with no capability container yet, gets one
    // and an empty NDEF message. Throws UserError for a chip we do not write.
    static std::unique_ptr<NdefTag> open(CardChannel& channel, const QByteArray& atr);

    const TagInfo& info() const { return FInfo; }
    // The NDEF message the chip holds, read from the chip; empty when it holds none.
    virtual QByteArray readMessage() = 0;
    // Throws UserError when the chip is read-only, the message does not fit or the chip
    // refuses it; CardGoneError when it leaves the reader.
    virtual void writeMessage(const QByteArray& message) = 0;
    // Whether lock() can make this chip read-only.
    virtual bool canLock() const = 0;
    // Makes the chip read-only for ever.
    virtual void lock() = 0;

protected:
    explicit NdefTag(CardChannel& channel) : FChannel(channel) {}
    // Sends `apdu`; throws UserError `failure` unless the card answers 90 00. Returns the data.
    QByteArray command(const QByteArray& apdu, const QString& failure);

    CardChannel& FChannel;
    TagInfo FInfo;
};

// "O chip tem 137 bytes livres; o cartão precisa de 312."
QString doesNotFitMessage(int capacity, int needed);

struct WriteReport {
    int written = 0;  // bytes of the message
    int capacity = 0; // the longest message the chip holds
};

// Writes `message`, reads the chip's message back and compares them byte for byte, then locks
// the chip when asked. Throws UserError when the read-back differs.
WriteReport writeAndVerify(NdefTag& tag, const QByteArray& message, bool lock);

} // namespace lumo
