// Any bytes as what a chip returns when a write is read back: a Type 2 data area holding TLVs,
// and the same bytes as an NDEF message by themselves.
//
// Checked: the readers return or throw lumo::UserError, nothing else; a message found inside
// the area lies within it; every message read has at least one record, and writing its
// records again gives a message that reads as the same records.

#include "nfc/ndef.h"
#include "platform/errors.h"

#include "fuzzcheck.h"

#include <cstdint>

namespace {

void readMessage(const QByteArray& bytes) {
    std::vector<lumo::NdefRecord> records;
    try {
        records = lumo::parseNdefMessage(bytes);
    } catch (const lumo::UserError&) {
        return;
    }
    CHECK(!records.empty());
    CHECK(lumo::parseNdefMessage(lumo::encodeNdefMessage(records)) == records);
    for (const lumo::NdefRecord& r : records)
        (void)lumo::uriOf(r);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    readMessage(bytes);
    try {
        if (const std::optional<QByteArray> message = lumo::messageInType2Area(bytes)) {
            CHECK(message->size() <= bytes.size());
            readMessage(*message);
        }
    } catch (const lumo::UserError&) {
    }
    return 0;
}
