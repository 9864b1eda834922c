#include "qrcode/encoder.h"
#include "qrcode/qrcode.h"
#include "qrcode/qrcodegenerator.h"

#include "testdata.h"

#include <gtest/gtest.h>

namespace {

const QString kTooLarge = asciiText(3000);

// The symbol of a text straight from the encoder.
TByteMatrix encoded(const QString& text, TQRCodeEncoding encoding) {
    TEncoder encoder;
    TQRCode record;
    encoder.Encode(text, int(encoding), TErrorCorrectionLevel(1), record);
    return *record.Matrix();
}

// Every module of the generator, margin included, equals the symbol shifted by the margin.
void expectSymbol(const TQRCodeGenerator& generator, const TByteMatrix& symbol) {
    const int q = generator.QuietZone();
    ASSERT_EQ(generator.Rows(), symbol.Height() + 2 * q);
    ASSERT_EQ(generator.Columns(), symbol.Width() + 2 * q);
    for (int row = -1; row <= generator.Rows(); ++row)
        for (int column = -1; column <= generator.Columns(); ++column) {
            const int y = row - q;
            const int x = column - q;
            const bool inside = x >= 0 && y >= 0 && x < symbol.Width() && y < symbol.Height();
            ASSERT_EQ(generator.IsBlack(row, column), inside && symbol.Get(x, y) == 1)
                << row << "," << column;
        }
}

} // namespace

TEST(Generator, NewGeneratorHasNoSymbol) {
    TQRCodeGenerator generator;
    EXPECT_EQ(generator.Rows(), 0);
    EXPECT_EQ(generator.Columns(), 0);
    EXPECT_EQ(generator.QuietZone(), 4);
    EXPECT_EQ(generator.Encoding(), qrAuto);
    EXPECT_TRUE(generator.Data().isEmpty());
    for (auto [row, column] : {std::pair{0, 0}, {-1, 0}, {4, 4}})
        EXPECT_FALSE(generator.IsBlack(row, column));
}

TEST(Generator, SizeIsSymbolPlusTwoMargins) {
    struct Case {
        QString text;
        TQRCodeEncoding encoding;
        int quietZone;
        int rows;
    };
    const Case cases[] = {
        {"AB", qrUTF8BOM, 0, 21},
        {"AB", qrUTF8BOM, 4, 29},
        {"AB", qrAuto, 100, 221},
        {asciiText(100), qrUTF8BOM, 2, 17 + 4 * 5 + 4},
        {asciiText(2953), qrUTF8BOM, 1, 179},
    };
    for (const Case& c : cases) {
        TQRCodeGenerator generator;
        generator.SetData(c.text);
        generator.SetEncoding(c.encoding);
        generator.SetQuietZone(c.quietZone);
        EXPECT_EQ(generator.Rows(), c.rows) << c.text.left(10).toStdString();
        EXPECT_EQ(generator.Columns(), c.rows);
    }
}

// IsBlack is row first, so an asymmetric symbol tells rows from columns.
TEST(Generator, ModulesAreAddressedRowFirst) {
    const QString card = QString::fromUtf8("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:José Araújo\r\nEND:VCARD");
    TQRCodeGenerator generator;
    generator.SetData(card);
    generator.SetEncoding(qrUTF8BOM);
    expectSymbol(generator, encoded(card, qrUTF8BOM));
    const int q = generator.QuietZone();
    EXPECT_TRUE(generator.IsBlack(q, q));
    EXPECT_FALSE(generator.IsBlack(q - 1, q));
    EXPECT_FALSE(generator.IsBlack(generator.Rows() - q, q));
    EXPECT_TRUE(generator.IsBlack(generator.Rows() - q - 1, q)); // bottom-left finder
    // The dark module sits in column 8 of row N - 8, and not the other way round.
    const int n = generator.Rows() - 2 * q;
    EXPECT_TRUE(generator.IsBlack(q + n - 8, q + 8));
    generator.SetQuietZone(0);
    expectSymbol(generator, encoded(card, qrUTF8BOM));
}

TEST(Generator, QuietZoneOutsideZeroToHundredIsIgnored) {
    TQRCodeGenerator generator;
    generator.SetData("AB");
    for (int ignored : {-1, 101, 1000}) {
        generator.SetQuietZone(ignored);
        EXPECT_EQ(generator.QuietZone(), 4);
        EXPECT_EQ(generator.Rows(), 29);
    }
    generator.SetQuietZone(0);
    EXPECT_EQ(generator.Rows(), 21);
    generator.SetQuietZone(100);
    EXPECT_EQ(generator.Rows(), 221);
}

// An input that does not change encodes nothing: a text no version holds would raise.
TEST(Generator, EncodesOnlyOnAnEffectiveChange) {
    TQRCodeGenerator generator;
    EXPECT_THROW(generator.SetData(kTooLarge), QRCodeTooLargeError);
    EXPECT_NO_THROW(generator.SetData(kTooLarge));
    EXPECT_NO_THROW(generator.SetEncoding(qrAuto));
    EXPECT_NO_THROW(generator.SetQuietZone(4));
    EXPECT_NO_THROW(generator.SetQuietZone(-1));
    EXPECT_THROW(generator.SetEncoding(qrUTF8BOM), QRCodeTooLargeError);
    EXPECT_THROW(generator.SetQuietZone(2), QRCodeTooLargeError);
    EXPECT_EQ(generator.Encoding(), qrUTF8BOM);
    EXPECT_EQ(generator.QuietZone(), 2);
}

TEST(Generator, FailedEncodingKeepsThePreviousSymbol) {
    TQRCodeGenerator generator;
    generator.SetData("AB");
    const TByteMatrix symbol = encoded("AB", qrAuto);
    expectSymbol(generator, symbol);

    EXPECT_THROW(generator.SetData(kTooLarge), QRCodeTooLargeError);
    EXPECT_EQ(generator.Data(), kTooLarge);
    expectSymbol(generator, symbol);

    // The margin changes while sizes and modules stay those of the last symbol; reading the
    // whole old area stays inside the modules held.
    EXPECT_THROW(generator.SetQuietZone(0), QRCodeTooLargeError);
    EXPECT_EQ(generator.QuietZone(), 0);
    EXPECT_EQ(generator.Rows(), 29);
    for (int row = 0; row < 29; ++row)
        for (int column = 0; column < 29; ++column)
            ASSERT_EQ(generator.IsBlack(row, column),
                      row < 21 && column < 21 && symbol.Get(column, row) == 1);

    generator.SetData("AB");
    expectSymbol(generator, symbol);
}

// The card's sequence: text, then qrUTF8BOM, then no margin.
TEST(Generator, CardSequenceGivesTheUtf8SymbolWithoutMargin) {
    const QString card = QString::fromUtf8("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Conceição;João;;;\r\nEND:VCARD");
    TQRCodeGenerator generator;
    generator.SetData(card);
    expectSymbol(generator, encoded(card, qrAuto));
    generator.SetEncoding(qrUTF8BOM);
    generator.SetQuietZone(0);
    expectSymbol(generator, encoded(card, qrUTF8BOM));
}
