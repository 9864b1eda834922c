#include "nfc/ndef.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

using namespace lumo;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

} // namespace

// The NFC Forum's worked examples of URI records, and the short and long forms of a MIME record.
TEST(Ndef, EncodesTheForumExamplesAndBothLengthForms) {
    EXPECT_EQ(encodeNdefMessage({uriRecord(QStringLiteral("http://www.nfc.com"))}).toHex(),
              hex("D1010855016E66632E636F6D").toHex());
    EXPECT_EQ(encodeNdefMessage({uriRecord(QStringLiteral("tel:+35891234567"))}).toHex(),
              hex("D1010D55052B3335383931323334353637").toHex());
    // "https://" is code 4; the longer "https://www." wins where it matches.
    EXPECT_EQ(uriRecord(QStringLiteral("https://exemplo.com.br")).payload, "\x04"
                                                                           "exemplo.com.br");
    EXPECT_EQ(uriRecord(QStringLiteral("https://www.exemplo.com.br")).payload, "\x02"
                                                                               "exemplo.com.br");
    EXPECT_EQ(uriRecord(QStringLiteral("geo:1,2")).payload, QByteArray("\x00"
                                                                       "geo:1,2",
                                                                       8));

    const QByteArray shortVcard(255, 'v');
    EXPECT_EQ(encodeNdefMessage({mimeRecord("text/vcard", shortVcard)}).left(13),
              hex("D20AFF") + "text/vcard");
    const QByteArray longVcard(300, 'v');
    const QByteArray message = encodeNdefMessage({mimeRecord("text/vcard", longVcard)});
    EXPECT_EQ(message.left(16), hex("C20A0000012C") + "text/vcard");
    EXPECT_EQ(message.size(), 16 + 300);

    // Several records: Message Begin on the first, Message End on the last, the ID field only
    // where there is an ID.
    const QByteArray two = encodeNdefMessage({{Tnf::WellKnown, "U", "a", "\x04x"}, mimeRecord("a/b", "c")});
    EXPECT_EQ(two.toHex(), (hex("99010201") + "Ua" + hex("0478") + hex("520301") + "a/bc").toHex());
}

TEST(Ndef, ReadsWhatItWritesAndTheForumTextExample) {
    const std::vector<NdefRecord> records = {mimeRecord("text/vcard", QByteArray(70000 / 3, 'x')),
                                             uriRecord(QStringLiteral("https://exemplo.com.br")),
                                             {Tnf::External, "lumo.example:t", "id", {}}};
    EXPECT_EQ(parseNdefMessage(encodeNdefMessage(records)), records);
    EXPECT_EQ(uriOf(records[1]), QStringLiteral("https://exemplo.com.br"));
    EXPECT_EQ(uriOf(records[0]), std::nullopt);

    const auto text = parseNdefMessage(hex("D101105402656E48656C6C6F2C20776F726C6421"));
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].type, "T");
    EXPECT_EQ(text[0].payload, "\x02"
                               "enHello, world!");
}

TEST(Ndef, RefusesMalformedMessages) {
    const char* cases[] = {
        "",                 // nothing
        "D1010855016E6663", // payload runs past the end
        "910101"
        "5501",       // no Message End
        "5101015501", // no Message Begin
        "D1010155"
        "01"
        "D101015501", // a record after the end
        "F1010155"
        "01",             // a chunk
        "C101FFFFFFFF55", // a 4 GiB payload announced
        "D90101FF5501",   // an ID longer than what is left
        "D0010055",       // an empty record with a type
        "D7000000",       // reserved type name format
    };
    for (const char* c : cases)
        EXPECT_THROW(parseNdefMessage(hex(c)), UserError) << c;
    EXPECT_THROW(parseNdefMessage(QByteArray(kMaxNdefMessage + 1, '\0')), UserError);
}

// A Type 2 data area: the TLV head of one or three length bytes, the terminator when there is
// room, and the largest message an NTAG213's 144 bytes take.
TEST(Ndef, Type2TlvFitsTheAreaAndIsFoundAgain) {
    EXPECT_EQ(type2Tlv("", 144), hex("0300FE"));
    EXPECT_EQ(type2Tlv(QByteArray(300, 'm'), 496)->left(4), hex("03FF012C"));
    EXPECT_EQ(type2Capacity(144), 142);
    EXPECT_EQ(type2Capacity(496), 492);
    EXPECT_EQ(type2Capacity(258), 254);                          // 255 bytes would need 259
    EXPECT_EQ(type2Tlv(QByteArray(142, 'm'), 144)->size(), 144); // no room for the terminator
    EXPECT_FALSE(type2Tlv(QByteArray(143, 'm'), 144));

    for (int length : {0, 1, 254, 255, 492}) {
        const QByteArray message(length, 'm');
        // A Lock Control TLV and NULL TLVs before it, as factory-made chips have.
        const QByteArray area = hex("0103A00C34"
                                    "0000") +
                                *type2Tlv(message, 496);
        EXPECT_EQ(messageInType2Area(area), message) << length;
    }
    EXPECT_EQ(messageInType2Area(hex("FE0305")), std::nullopt);
    EXPECT_EQ(messageInType2Area(QByteArray(16, '\0')), std::nullopt);
    EXPECT_THROW(messageInType2Area(hex("0305D1")), UserError);
    EXPECT_THROW(messageInType2Area(hex("03FF01")), UserError);
}
