#include "nfc/tag.h"

#include "nfc/ndef.h"

#include <algorithm>

namespace lumo {

namespace {

QString refusedWriteMessage() {
    return QStringLiteral("O chip recusou a gravação; ele não foi gravado por completo.");
}
QString refusedReadMessage() {
    return QStringLiteral("O chip não respondeu à leitura.");
}
QString readOnlyMessage() {
    return QStringLiteral("O chip está protegido contra gravação; nada foi gravado.");
}

QByteArray apdu(std::initializer_list<int> head, const QByteArray& data = {}) {
    QByteArray out;
    for (int b : head)
        out.append(char(b));
    out.append(data);
    return out;
}

bool succeeded(const QByteArray& response) {
    return response.size() >= 2 && quint8(response[response.size() - 2]) == 0x90 &&
           quint8(response[response.size() - 1]) == 0x00;
}

// The ATR a PC/SC reader makes up for a contactless storage card, as the PC/SC standard for
// contactless readers has it: RID A0 00 00 03 06, the standard byte and a two-byte card name.
struct StorageCard {
    int standard = 0;
    int name = 0;
};

std::optional<StorageCard> storageCardOf(const QByteArray& atr) {
    static const QByteArray head = QByteArray::fromHex("3B8F8001804F0CA000000306");
    if (atr.size() < 15 || !atr.startsWith(head))
        return std::nullopt;
    return StorageCard{quint8(atr[12]), (quint8(atr[13]) << 8) | quint8(atr[14])};
}

// Type 2: 4-byte pages; page 3 is the capability container, the data area starts at page 4.
class Type2Tag : public NdefTag {
public:
    explicit Type2Tag(CardChannel& channel) : NdefTag(channel) {}

    void identify() {
        const QByteArray head = readPages(0);
        QByteArray cc = head.mid(12, 4);
        if (cc == QByteArray(4, '\0'))
            cc = format();
        if (quint8(cc[0]) != 0xE1 || (quint8(cc[1]) >> 4) != 1)
            throw UserError(QStringLiteral("O chip não está preparado para NDEF e não foi reconhecido; "
                                           "nada foi gravado."));
        FSizeCode = quint8(cc[2]);
        FInfo.type = TagType::Type2;
        FInfo.areaSize = FSizeCode * 8;
        FInfo.capacity = type2Capacity(FInfo.areaSize);
        FInfo.readOnly = (quint8(cc[3]) & 0x0F) != 0;
        switch (FSizeCode) {
        case 0x06:
            FInfo.model = QStringLiteral("Ultralight");
            break;
        case 0x12:
            FInfo.model = QStringLiteral("NTAG213");
            break;
        case 0x3E:
            FInfo.model = QStringLiteral("NTAG215");
            break;
        case 0x6D:
            FInfo.model = QStringLiteral("NTAG216");
            break;
        default:
            FInfo.model = QStringLiteral("Type 2");
            break;
        }
    }

    QByteArray readMessage() override {
        QByteArray area;
        // Read four pages at a time until the message's TLV is complete.
        while (area.size() < FInfo.areaSize) {
            area += readPages(4 + int(area.size()) / 4);
            const QByteArray seen = area.left(FInfo.areaSize);
            if (tlvComplete(seen))
                break;
        }
        return messageInType2Area(area.left(FInfo.areaSize)).value_or(QByteArray());
    }

    void writeMessage(const QByteArray& message) override {
        if (FInfo.readOnly)
            throw UserError(readOnlyMessage());
        std::optional<QByteArray> tlv = type2Tlv(message, FInfo.areaSize);
        if (!tlv)
            throw UserError(doesNotFitMessage(FInfo.capacity, int(message.size())));
        QByteArray bytes = *tlv;
        bytes.append(QByteArray((4 - bytes.size() % 4) % 4, '\0'));
        // An empty message first, the first page last: a write cut short leaves a valid, empty
        // message rather than a length promising bytes that never came.
        writePage(4, QByteArray::fromHex("0300FE00"));
        for (int page = 1; page < bytes.size() / 4; ++page)
            writePage(4 + page, bytes.mid(page * 4, 4));
        writePage(4, bytes.left(4));
    }

    bool canLock() const override { return true; }

    void lock() override {
        const QByteArray head = readPages(0);
        // The capability container's write access: 0x0F is read-only.
        QByteArray cc = head.mid(12, 4);
        cc[3] = char(0x0F);
        writePage(3, cc);
        // The static lock bits (bytes 2 and 3 of page 2) for pages 3 to 15.
        QByteArray lockPage = head.mid(8, 4);
        lockPage[2] = char(0xFF);
        lockPage[3] = char(0xFF);
        writePage(2, lockPage);
        // The NTAG21x dynamic lock bytes, just after the user memory, for the pages above 15.
        int dynamicLock = 0;
        switch (FSizeCode) {
        case 0x12:
            dynamicLock = 0x28;
            break;
        case 0x3E:
            dynamicLock = 0x82;
            break;
        case 0x6D:
            dynamicLock = 0xE2;
            break;
        default:
            break;
        }
        if (dynamicLock)
            writePage(dynamicLock, QByteArray::fromHex("FFFFFF00"));
        FInfo.readOnly = true;
    }

private:
    // READ BINARY of 16 bytes: four pages from `page`.
    QByteArray readPages(int page) {
        const QByteArray data = command(apdu({0xFF, 0xB0, 0x00, page, 0x10}), refusedReadMessage());
        if (data.size() != 16)
            throw UserError(refusedReadMessage());
        return data;
    }

    void writePage(int page, const QByteArray& data) {
        command(apdu({0xFF, 0xD6, 0x00, page, 0x04}, data), refusedWriteMessage());
    }

    bool pageExists(int page) { return succeeded(FChannel.transmit(apdu({0xFF, 0xB0, 0x00, page, 0x10}))); }

    // A blank chip: its size told by the last page it reads, then the capability container
    // (version 1.0, size in units of 8 bytes, free access) and an empty message.
    QByteArray format() {
        struct Size {
            int lastPage;
            int sizeCode;
        };
        static constexpr Size sizes[] = {{0xE6, 0x6D}, {0x86, 0x3E}, {0x2C, 0x12}, {0x0F, 0x06}};
        for (const Size& s : sizes) {
            if (pageExists(s.lastPage) && !pageExists(s.lastPage + 1)) {
                const QByteArray cc = QByteArray::fromHex("E110") + char(s.sizeCode) + char(0);
                writePage(3, cc);
                writePage(4, QByteArray::fromHex("0300FE00"));
                return cc;
            }
        }
        throw UserError(QStringLiteral("O chip está em branco, mas seu tamanho não foi reconhecido; "
                                       "nada foi gravado."));
    }

    // Whether `area` holds the whole first NDEF TLV (or shows there is none).
    static bool tlvComplete(const QByteArray& area) {
        for (qsizetype at = 0; at < area.size();) {
            const quint8 tag = quint8(area[at]);
            if (tag == 0x00) {
                ++at;
                continue;
            }
            if (tag == 0xFE)
                return true;
            if (at + 1 >= area.size())
                return false;
            qsizetype length = quint8(area[at + 1]);
            qsizetype head = 2;
            if (length == 0xFF) {
                if (at + 3 >= area.size())
                    return false;
                length = (qsizetype(quint8(area[at + 2])) << 8) | quint8(area[at + 3]);
                head = 4;
            }
            if (at + head + length > area.size())
                return false;
            if (tag == 0x03)
                return true;
            at += head + length;
        }
        return false;
    }

    int FSizeCode = 0;
};

// Type 4: the NDEF application, its capability container file E103 and the NDEF file it
// names, whose first two bytes give the message's length.
class Type4Tag : public NdefTag {
public:
    explicit Type4Tag(CardChannel& channel) : NdefTag(channel) {}

    // False when the card has no NDEF application.
    bool identify() {
        const QByteArray select =
            apdu({0x00, 0xA4, 0x04, 0x00, 0x07}, QByteArray::fromHex("D2760000850101")) + char(0x00);
        if (!succeeded(FChannel.transmit(select)))
            return false;
        selectFile(QByteArray::fromHex("E103"));
        const QByteArray cc = command(apdu({0x00, 0xB0, 0x00, 0x00, 0x0F}), refusedReadMessage());
        // CCLEN, mapping version, MLe, MLc, then the NDEF File Control TLV (04 06 ...).
        if (cc.size() < 15 || quint8(cc[7]) != 0x04 || quint8(cc[8]) < 0x06 || (quint8(cc[2]) >> 4) < 2)
            return false;
        auto word = [&](int at) { return (int(quint8(cc[at])) << 8) | quint8(cc[at + 1]); };
        FMaxRead = std::clamp(word(3), 1, 0xFD);
        FMaxWrite = std::clamp(word(5), 1, 0xF0);
        FFile = cc.mid(9, 2);
        const int fileSize = word(11);
        FInfo.type = TagType::Type4;
        FInfo.model = QStringLiteral("Type 4");
        FInfo.areaSize = fileSize;
        FInfo.capacity = std::clamp(fileSize - 2, 0, kMaxNdefMessage);
        FInfo.readOnly = quint8(cc[14]) != 0x00;
        selectFile(FFile);
        return true;
    }

    QByteArray readMessage() override {
        const QByteArray head = read(0, 2);
        const int length = (int(quint8(head[0])) << 8) | quint8(head[1]);
        if (length > FInfo.capacity)
            throw UserError(QStringLiteral("O chip contém uma mensagem NDEF inválida."));
        QByteArray message;
        while (message.size() < length)
            message += read(2 + int(message.size()), std::min(FMaxRead, length - int(message.size())));
        return message;
    }

    void writeMessage(const QByteArray& message) override {
        if (FInfo.readOnly)
            throw UserError(readOnlyMessage());
        if (message.size() > FInfo.capacity)
            throw UserError(doesNotFitMessage(FInfo.capacity, int(message.size())));
        // Length zero while the message is written, its real length last.
        update(0, QByteArray(2, '\0'));
        for (int at = 0; at < message.size(); at += FMaxWrite)
            update(2 + at, message.mid(at, FMaxWrite));
        const int length = int(message.size());
        update(0, QByteArray(1, char(length >> 8)) + char(length & 0xFF));
    }

    // Making a Type 4 chip read-only takes commands of its maker's own.
    bool canLock() const override { return false; }
    void lock() override {
        throw UserError(QStringLiteral("Este chip não pode ser protegido contra gravação pelo programa."));
    }

private:
    void selectFile(const QByteArray& id) {
        command(apdu({0x00, 0xA4, 0x00, 0x0C, 0x02}, id), refusedReadMessage());
    }
    QByteArray read(int offset, int length) {
        const QByteArray data =
            command(apdu({0x00, 0xB0, offset >> 8, offset & 0xFF, length}), refusedReadMessage());
        if (data.size() != length)
            throw UserError(refusedReadMessage());
        return data;
    }
    void update(int offset, const QByteArray& data) {
        command(apdu({0x00, 0xD6, offset >> 8, offset & 0xFF, int(data.size())}, data),
                refusedWriteMessage());
    }

    int FMaxRead = 0x3B, FMaxWrite = 0x34;
    QByteArray FFile;
};

} // namespace

QByteArray NdefTag::command(const QByteArray& apdu, const QString& failure) {
    const QByteArray response = FChannel.transmit(apdu);
    if (!succeeded(response))
        throw UserError(failure);
    return response.left(response.size() - 2);
}

std::unique_ptr<NdefTag> NdefTag::open(CardChannel& channel, const QByteArray& atr) {
    if (const std::optional<StorageCard> storage = storageCardOf(atr)) {
        // Card names 0x0003 (Ultralight, NTAG21x) and 0x003A (Ultralight C) are Type 2; 0x0001,
        // 0x0002 and 0x0026 are MIFARE Classic 1K, 4K and Mini.
        if (storage->name == 0x0003 || storage->name == 0x003A) {
            auto tag = std::make_unique<Type2Tag>(channel);
            tag->identify();
            return tag;
        }
        if (storage->name == 0x0001 || storage->name == 0x0002 || storage->name == 0x0026)
            throw UserError(QStringLiteral("Este é um cartão MIFARE Classic, que não guarda um vCard "
                                           "do jeito dos celulares; nada foi gravado."));
        throw UserError(QStringLiteral("Este tipo de chip não é aceito; nada foi gravado."));
    }
    auto tag = std::make_unique<Type4Tag>(channel);
    if (!tag->identify())
        throw UserError(QStringLiteral("Este cartão não é um chip NFC gravável (NTAG ou Type 4); "
                                       "nada foi gravado."));
    return tag;
}

QString doesNotFitMessage(int capacity, int needed) {
    return QStringLiteral("O chip tem %1 bytes livres; o cartão precisa de %2.").arg(capacity).arg(needed);
}

WriteReport writeAndVerify(NdefTag& tag, const QByteArray& message, bool lock) {
    tag.writeMessage(message);
    if (tag.readMessage() != message)
        throw UserError(QStringLiteral("A conferência falhou: o chip não guardou o que foi gravado."));
    if (lock)
        tag.lock();
    return {int(message.size()), tag.info().capacity};
}

} // namespace lumo
