#pragma once

// NDEF messages (NFC Forum Data Exchange Format): the records a chip carries, how they are
// laid out in bytes, and the TLV blocks a Type 2 tag keeps them in.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace lumo {

// The type name format of a record (the low three bits of its header).
enum class Tnf : std::uint8_t {
    Empty = 0,
    WellKnown = 1, // NFC Forum record types: "U" (URI), "T" (text)
    Mime = 2,      // a media type such as "text/vcard"
    AbsoluteUri = 3,
    External = 4,
    Unknown = 5,
    Unchanged = 6,
    Reserved = 7,
};

struct NdefRecord {
    Tnf tnf = Tnf::Empty;
    QByteArray type;
    QByteArray id;
    QByteArray payload;
    bool operator==(const NdefRecord&) const = default;
};

// The largest message the reader takes: more than any tag we write holds (a Type 4 file
// addresses at most 32 KiB), so nothing bigger is ever allocated from a chip's length fields.
constexpr int kMaxNdefMessage = 32 * 1024;

// The bytes of a message of these records, in order: the first marked Message Begin, the last
// Message End; a payload under 256 bytes gets the short form (one length byte), a longer one
// four; the ID field only when a record has one. No chunking.
QByteArray encodeNdefMessage(const std::vector<NdefRecord>& records);

// A MIME record: "text/vcard" and the vCard's bytes, for example.
NdefRecord mimeRecord(const QByteArray& mediaType, const QByteArray& payload);
// The well-known URI record: the longest of the standard prefixes ("https://www.", "https://",
// ...) becomes its one-byte code, the rest of the address follows in UTF-8.
NdefRecord uriRecord(const QString& uri);
// The address a URI record holds, its prefix code expanded; nothing when the record is not a
// URI record or its code is not a standard one.
std::optional<QString> uriOf(const NdefRecord& record);

// Reads a message: every record with its fields, or lumo::UserError when the bytes are not one
// well-formed message (a length beyond the end, a missing Message Begin or End, bytes after the
// end, chunked records, more than kMaxNdefMessage bytes).
std::vector<NdefRecord> parseNdefMessage(const QByteArray& bytes);

// Type 2 tags keep the message in an NDEF TLV (tag 0x03, a length of one byte, or 0xFF and two
// more for 255 and over) in their data area, ended by a terminator TLV (0xFE) when there is
// room for it. The area's bytes that hold `message`: nothing when they do not fit in `areaSize`.
std::optional<QByteArray> type2Tlv(const QByteArray& message, int areaSize);
// The longest message an area of `areaSize` bytes holds.
int type2Capacity(int areaSize);
// The message of the first NDEF TLV in a Type 2 data area, skipping NULL, Lock Control and
// Memory Control TLVs; nothing when the area holds no NDEF TLV before its terminator or its
// end; lumo::UserError when a length runs past the area.
std::optional<QByteArray> messageInType2Area(const QByteArray& area);

} // namespace lumo
