#include "nfc/ndef.h"

#include "platform/errors.h"

#include <algorithm>
#include <array>

namespace lumo {

namespace {

// Header flags of a record.
constexpr std::uint8_t kMessageBegin = 0x80, kMessageEnd = 0x40, kChunk = 0x20, kShort = 0x10,
                       kIdLength = 0x08;

// The URI record's abbreviations, by code (NFC Forum URI record type definition).
constexpr std::array<const char*, 36> kUriPrefixes = {"",
                                                      "http://www.",
                                                      "https://www.",
                                                      "http://",
                                                      "https://",
                                                      "tel:",
                                                      "mailto:",
                                                      "ftp://anonymous:anonymous@",
                                                      "ftp://ftp.",
                                                      "ftps://",
                                                      "sftp://",
                                                      "smb://",
                                                      "nfs://",
                                                      "ftp://",
                                                      "dav://",
                                                      "news:",
                                                      "telnet://",
                                                      "imap:",
                                                      "rtsp://",
                                                      "urn:",
                                                      "pop:",
                                                      "sip:",
                                                      "sips:",
                                                      "tftp:",
                                                      "btspp://",
                                                      "btl2cap://",
                                                      "btgoep://",
                                                      "tcpobex://",
                                                      "irdaobex://",
                                                      "file://",
                                                      "urn:epc:id:",
                                                      "urn:epc:tag:",
                                                      "urn:epc:pat:",
                                                      "urn:epc:raw:",
                                                      "urn:epc:",
                                                      "urn:nfc:"};

[[noreturn]] void malformed() {
    throw UserError(QStringLiteral("O chip contém uma mensagem NDEF inválida."));
}

} // namespace

QByteArray encodeNdefMessage(const std::vector<NdefRecord>& records) {
    QByteArray out;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const NdefRecord& r = records[i];
        const bool isShort = r.payload.size() < 256;
        std::uint8_t header = std::uint8_t(r.tnf) & 0x07;
        if (i == 0)
            header |= kMessageBegin;
        if (i + 1 == records.size())
            header |= kMessageEnd;
        if (isShort)
            header |= kShort;
        if (!r.id.isEmpty())
            header |= kIdLength;
        out.append(char(header));
        out.append(char(r.type.size()));
        const quint32 length = quint32(r.payload.size());
        if (isShort) {
            out.append(char(length));
        } else {
            for (int shift = 24; shift >= 0; shift -= 8)
                out.append(char((length >> shift) & 0xFF));
        }
        if (!r.id.isEmpty())
            out.append(char(r.id.size()));
        out.append(r.type);
        out.append(r.id);
        out.append(r.payload);
    }
    return out;
}

NdefRecord mimeRecord(const QByteArray& mediaType, const QByteArray& payload) {
    return {Tnf::Mime, mediaType, {}, payload};
}

NdefRecord uriRecord(const QString& uri) {
    const QByteArray bytes = uri.toUtf8();
    std::size_t best = 0;
    qsizetype bestLength = 0;
    for (std::size_t code = 1; code < kUriPrefixes.size(); ++code) {
        const QByteArray prefix(kUriPrefixes[code]);
        if (prefix.size() > bestLength && bytes.startsWith(prefix)) {
            best = code;
            bestLength = prefix.size();
        }
    }
    QByteArray payload(1, char(best));
    payload.append(bytes.mid(bestLength));
    return {Tnf::WellKnown, QByteArrayLiteral("U"), {}, payload};
}

std::optional<QString> uriOf(const NdefRecord& record) {
    if (record.tnf != Tnf::WellKnown || record.type != "U" || record.payload.isEmpty())
        return std::nullopt;
    const auto code = std::uint8_t(record.payload[0]);
    if (code >= kUriPrefixes.size())
        return std::nullopt;
    return QString::fromUtf8(QByteArray(kUriPrefixes[code]) + record.payload.mid(1));
}

std::vector<NdefRecord> parseNdefMessage(const QByteArray& bytes) {
    if (bytes.isEmpty() || bytes.size() > kMaxNdefMessage)
        malformed();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype at = 0;
    std::vector<NdefRecord> records;
    bool ended = false;
    while (at < size) {
        if (ended)
            malformed();
        const std::uint8_t header = data[at++];
        if (bool(header & kMessageBegin) != records.empty() || (header & kChunk))
            malformed();
        ended = header & kMessageEnd;
        // The fixed fields before the type: type length, payload length, ID length.
        const qsizetype fixed = 1 + ((header & kShort) ? 1 : 4) + ((header & kIdLength) ? 1 : 0);
        if (size - at < fixed)
            malformed();
        const qsizetype typeLength = data[at++];
        qint64 payloadLength = 0;
        if (header & kShort) {
            payloadLength = data[at++];
        } else {
            for (int k = 0; k < 4; ++k)
                payloadLength = (payloadLength << 8) | data[at++];
        }
        const qsizetype idLength = (header & kIdLength) ? data[at++] : 0;
        // Lengths are checked against what is left before anything is copied.
        if (qint64(typeLength) + idLength + payloadLength > qint64(size - at))
            malformed();
        NdefRecord r;
        r.tnf = Tnf(header & 0x07);
        r.type = bytes.mid(at, typeLength);
        at += typeLength;
        r.id = bytes.mid(at, idLength);
        at += idLength;
        r.payload = bytes.mid(at, qsizetype(payloadLength));
        at += qsizetype(payloadLength);
        // An empty record has no type, ID or payload; the others need a type, except the
        // unknown and unchanged ones.
        if (r.tnf == Tnf::Empty && (typeLength || idLength || payloadLength))
            malformed();
        if (r.tnf == Tnf::Reserved)
            malformed();
        records.push_back(std::move(r));
    }
    if (!ended)
        malformed();
    return records;
}

namespace {

int tlvOverhead(int messageLength) {
    return messageLength < 255 ? 2 : 4;
}

} // namespace

int type2Capacity(int areaSize) {
    // A message of up to 254 bytes needs a 2-byte TLV head, a longer one 4.
    return std::max({0, std::min(areaSize - 2, 254), std::min(areaSize - 4, 0xFFFE)});
}

std::optional<QByteArray> type2Tlv(const QByteArray& message, int areaSize) {
    const int length = int(message.size());
    if (length > type2Capacity(areaSize))
        return std::nullopt;
    QByteArray out;
    out.append(char(0x03));
    if (length < 255) {
        out.append(char(length));
    } else {
        out.append(char(0xFF));
        out.append(char(length >> 8));
        out.append(char(length & 0xFF));
    }
    out.append(message);
    if (out.size() < areaSize)
        out.append(char(0xFE));
    Q_ASSERT(out.size() <= areaSize && tlvOverhead(length) + length <= areaSize);
    return out;
}

std::optional<QByteArray> messageInType2Area(const QByteArray& area) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(area.constData());
    const qsizetype size = area.size();
    qsizetype at = 0;
    while (at < size) {
        const std::uint8_t tag = data[at++];
        if (tag == 0x00) // NULL TLV: a single byte
            continue;
        if (tag == 0xFE)
            return std::nullopt;
        if (at >= size)
            malformed();
        qsizetype length = data[at++];
        if (length == 0xFF) {
            if (size - at < 2)
                malformed();
            length = (qsizetype(data[at]) << 8) | data[at + 1];
            at += 2;
        }
        if (length > size - at)
            malformed();
        if (tag == 0x03)
            return area.mid(at, length);
        at += length;
    }
    return std::nullopt;
}

} // namespace lumo
