#include "qrcode/encoder.h"
#include "qrcode/matrixutil.h"
#include "qrcode/qrcode.h"

#include "testdata.h"

#include <gtest/gtest.h>

namespace {

const TErrorCorrectionLevel kLevelL(1);

struct Plain {
    int mask;
    std::vector<int> penalties;
    TByteMatrix matrix;
};

// The mask choice done the long way: eight full builds scored by the four rules.
Plain chooseMaskThePlainWay(const QString& text, int option) {
    TEncoder encoder;
    const QREncodedData data = encoder.encodeData(text, option, kLevelL);
    const int total = TVersion::totalCodewords(data.version);
    const int dataBytes = total - TVersion::totalECCodewords(data.version, kLevelL);
    TBitArray finalBits;
    encoder.InterleaveBlocks(data.bits, total, dataBytes, TVersion::numBlocks(data.version, kLevelL),
                             finalBits);
    const int n = 17 + 4 * data.version;
    Plain plain{-1, {}, TByteMatrix(n, n)};
    for (int mask = 0; mask < 8; ++mask) {
        TMatrixUtil().BuildMatrix(finalBits, kLevelL, data.version, mask, plain.matrix);
        plain.penalties.push_back(TEncoder::MaskPenalty(plain.matrix));
    }
    plain.mask =
        int(std::min_element(plain.penalties.begin(), plain.penalties.end()) - plain.penalties.begin());
    TMatrixUtil().BuildMatrix(finalBits, kLevelL, data.version, plain.mask, plain.matrix);
    EXPECT_FALSE(encoder.EncoderError());
    return plain;
}

QString repeated(char16_t c, int count) {
    return QString(count, QChar(c));
}

} // namespace

TEST(Encoder, DataCodewords) {
    struct Case {
        QString text;
        int option;
        TMode mode;
        std::vector<int> start; // then pad codewords EC 11 EC ... up to 19
    };
    const Case cases[] = {
        {"01234567", 0, qmNumeric, {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80}},
        {"AB", 5, qmByte, {0x40, 0x24, 0x14, 0x20}},
        {"AB", 0, qmAlphanumeric, {0x20, 0x11, 0xCD, 0x00}},
        {"A0B", 0, qmAlphanumeric, {0x20, 0x19, 0xC2, 0x2C, 0x00}},
        {QString::fromUtf8("é"), 3, qmByte, {0x40, 0x1E, 0x90}},
        {QString::fromUtf8("é"), 0, qmByte, {0x40, 0x1E, 0x90}},
        {QString::fromUtf8("é"), 5, qmByte, {0x40, 0x2C, 0x3A, 0x90}},
        {QString::fromUtf8("é"), 4, qmByte, {0x40, 0x5E, 0xFB, 0xBB, 0xFC, 0x3A, 0x90}},
        {"", 0, qmByte, {0x40, 0x3E, 0xFB, 0xBB, 0xF0}},
        {"", 5, qmByte, {0x40, 0x00}},
        {"abc", 2, qmAlphanumeric, {0x20, 0x00, 0x00}},
        {QString(QChar(0xD800)), 5, qmByte, {0x40, 0x3E, 0xFB, 0xFB, 0xD0}}, // lone surrogate: EF BF BD
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " option " + std::to_string(c.option));
        TEncoder encoder;
        const QREncodedData data = encoder.encodeData(c.text, c.option, kLevelL);
        EXPECT_EQ(data.mode, c.mode);
        EXPECT_EQ(data.version, 1);
        std::vector<int> expected = c.start;
        for (int pad = 0; expected.size() < 19; ++pad)
            expected.push_back(pad % 2 ? 0x11 : 0xEC);
        EXPECT_EQ(bytesOf(data.bits), expected);
        EXPECT_FALSE(encoder.EncoderError());
    }
}

// The worked error-correction codewords, and the fast interleaving against the plain steps
// for the blocks of every version.
TEST(Encoder, ErrorCorrectionAndInterleaving) {
    for (auto [text, option, ec] :
         {std::tuple{"01234567", 0, std::vector<int>{0x53, 0x55, 0x97, 0x67, 0x10, 0x05, 0x84}},
          std::tuple{"AB", 5, std::vector<int>{0x54, 0x32, 0xBF, 0xC1, 0xBC, 0x0D, 0xE8}}}) {
        TEncoder encoder;
        const TByteArray codewords =
            encoder.interleaveCodewords(encoder.encodeData(text, option, kLevelL).bits, 26, 19, 1);
        EXPECT_EQ(std::vector<int>(codewords.begin() + 19, codewords.end()), ec) << text;
    }
    std::mt19937 rng(17);
    for (int v = 1; v <= 40; ++v) {
        const int total = TVersion::totalCodewords(v);
        const int dataBytes = total - TVersion::totalECCodewords(v, kLevelL);
        const TBitArray bits = bitsOf(randomBytes(rng, dataBytes));
        TEncoder encoder;
        TBitArray plain;
        encoder.InterleaveBlocks(bits, total, dataBytes, TVersion::numBlocks(v, kLevelL), plain);
        const TByteArray fast =
            encoder.interleaveCodewords(bits, total, dataBytes, TVersion::numBlocks(v, kLevelL));
        ASSERT_EQ(std::vector<int>(fast.begin(), fast.end()), bytesOf(plain)) << "version " << v;
        EXPECT_FALSE(encoder.EncoderError());
    }
}

// Byte mode at level L: the standard's capacity of each version fits it, one byte more does not.
TEST(Encoder, ByteCapacityOfEveryVersion) {
    TEncoder encoder;
    for (int v = 1; v <= 40; ++v) {
        const int capacity = kByteCapacityL[std::size_t(v - 1)];
        EXPECT_EQ(encoder.encodeData(asciiText(capacity), 5, kLevelL).version, v) << capacity << " bytes";
        if (v < 40) {
            EXPECT_EQ(encoder.encodeData(asciiText(capacity + 1), 5, kLevelL).version, v + 1) << capacity + 1;
        }
    }
    EXPECT_FALSE(encoder.EncoderError());

    // The count field grows from 8 to 16 bits at version 10.
    const std::vector<int> v9 = bytesOf(encoder.encodeData(asciiText(230), 5, kLevelL).bits);
    EXPECT_EQ((v9[0] & 0x0F) << 4 | v9[1] >> 4, 230);
    const std::vector<int> v10 = bytesOf(encoder.encodeData(asciiText(231), 5, kLevelL).bits);
    EXPECT_EQ((v10[0] & 0x0F) << 12 | v10[1] << 4 | v10[2] >> 4, 231);
}

TEST(Encoder, TextsNoVersionHoldsRaiseAnError) {
    struct Case {
        QString fits;
        QString tooLarge;
        int option;
        const char* message;
    };
    const Case cases[] = {
        {asciiText(2953), asciiText(2954), 5,
         "Texto grande demais para um código QR de nível L: 2954 bytes (máximo 2953)."},
        {repeated(u'x', 2950), repeated(u'x', 2951), 4,
         "Texto grande demais para um código QR de nível L: 2954 bytes (máximo 2953)."},
        {repeated(u'é', 1476) + "x", repeated(u'é', 1477), 5,
         "Texto grande demais para um código QR de nível L: 2954 bytes (máximo 2953)."},
        {repeated(u'7', 7089), repeated(u'7', 7090), 0,
         "Texto grande demais para um código QR de nível L: 7090 dígitos (máximo 7089)."},
        {repeated(u'Z', 4296), repeated(u'Z', 4297), 0,
         "Texto grande demais para um código QR de nível L: 4297 caracteres (máximo 4296)."},
    };
    for (const Case& c : cases) {
        TEncoder encoder;
        EXPECT_EQ(encoder.encodeData(c.fits, c.option, kLevelL).version, 40);
        EXPECT_FALSE(encoder.EncoderError());
        TQRCode record;
        try {
            encoder.Encode(c.tooLarge, c.option, kLevelL, record);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const QRCodeTooLargeError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(record.Matrix(), nullptr);
        EXPECT_EQ(record.Version(), -1);
    }
}

TEST(Encoder, RecordHoldsTheSymbol) {
    TEncoder encoder;
    TQRCode record;
    const TErrorCorrectionLevel level(1);
    encoder.Encode(asciiText(100), 5, level, record);
    EXPECT_EQ(record.Mode(), qmByte);
    EXPECT_EQ(record.Version(), 5);
    ASSERT_NE(record.ECLevel(), nullptr);
    EXPECT_NE(record.ECLevel(), &level);
    EXPECT_EQ(record.ECLevel()->Bits(), 1);
    ASSERT_NE(record.Matrix(), nullptr);
    EXPECT_EQ(record.Matrix()->Width(), 37);
    EXPECT_EQ(record.Matrix()->Height(), 37);
    for (int cell : cellsOf(*record.Matrix()))
        ASSERT_LE(cell, 1);
    for (int field : {record.MatrixWidth(), record.NumTotalBytes(), record.NumDataBytes(),
                      record.NumECBytes(), record.NumRSBlocks()})
        EXPECT_EQ(field, -1);
    EXPECT_FALSE(encoder.EncoderError());
}

// The chosen mask has the lowest penalty of the eight, the lower number on a tie, and the
// symbol equals a full build with that mask.
TEST(Encoder, MaskChoiceIsTheLowestPenalty) {
    struct Case {
        QString text;
        int option;
    };
    const Case cases[] = {
        {"AB", 5},
        {"01234567", 0},
        {QString::fromUtf8("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Araújo;Conceição;;;\r\nEND:VCARD"), 5},
        {asciiText(300, 2), 5},
        {repeated(u'9', 1500), 0},
        {asciiText(1000, 3), 4},
        {asciiText(2953, 4), 5},
        {"Lumo 248", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.left(20).toStdString());
        const Plain plain = chooseMaskThePlainWay(c.text, c.option);
        TEncoder encoder;
        TQRCode record;
        encoder.Encode(c.text, c.option, kLevelL, record);
        EXPECT_EQ(record.MaskPattern(), plain.mask);
        EXPECT_EQ(cellsOf(*record.Matrix()), cellsOf(plain.matrix));
    }
    // Masks 3 and 7 tie on the lowest penalty of this symbol.
    EXPECT_EQ(chooseMaskThePlainWay("Lumo 248", 5).penalties,
              (std::vector<int>{403, 453, 476, 310, 415, 470, 423, 310}));
}

TEST(Encoder, ConsistencyChecksSetTheErrorFlag) {
    const auto flagged = [](auto step) {
        TEncoder encoder;
        step(encoder);
        return encoder.EncoderError();
    };
    TBitArray bits;
    int dataCount = -7;
    int ecCount = -7;
    EXPECT_TRUE(flagged([&](TEncoder& e) { e.AppendAlphanumericData("Ab", bits); }));
    EXPECT_TRUE(flagged([&](TEncoder& e) { e.AppendCharacterCount(256, qmByte, 9, bits); }));
    EXPECT_FALSE(flagged([&](TEncoder& e) { e.AppendCharacterCount(255, qmByte, 9, bits); }));
    EXPECT_TRUE(flagged([](TEncoder& e) {
        TBitArray full;
        full.AppendBits(0, 17);
        e.TerminateAndPad(2, full);
    }));
    EXPECT_TRUE(flagged([&](TEncoder& e) { e.GetBlockSizes(26, 19, 1, 1, dataCount, ecCount); }));
    EXPECT_EQ(dataCount, -7); // left unset
    EXPECT_TRUE(flagged([](TEncoder& e) {
        // Two blocks of 9 data codewords cannot carry 19.
        TBitArray result;
        e.InterleaveBlocks(bitsOf(std::vector<std::uint8_t>(19)), 26, 19, 2, result);
        EXPECT_EQ(result.GetSize(), 0);
    }));
}
