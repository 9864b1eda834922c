#include "qrcode/encoder.h"
#include "qrcode/qrcode.h"
#include "qrcode/qrcodegenerator.h"

#include "testdata.h"

#include <gtest/gtest.h>

namespace {

const QString kTooLarge = asciiText(3000);

TByteMatrix encoded(const QString& text, TQRCodeEncoding encoding) {
    TEncoder encoder;
    TQRCode record;
    encoder.Encode(text, int(encoding), TErrorCorrectionLevel(1), record);
    return *record.Matrix();
}

// Every position of the generator, one beyond each edge included, against the symbol
// shifted by the margin: IsBlack takes the row first.
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
    for (auto [row, column] : {std::pair{0, 0}, {-1, 0}, {4, 4}})
        EXPECT_FALSE(generator.IsBlack(row, column));
}

// The card's sequence (text, then qrUTF8BOM, then no margin) and the sizes on the way.
TEST(Generator, EncodesAtOnceOnEachChange) {
    const QString card = QString::fromUtf8("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Conceição;João;;;\r\nEND:VCARD");
    TQRCodeGenerator generator;
    generator.SetData(card);
    expectSymbol(generator, encoded(card, qrAuto));
    generator.SetEncoding(qrUTF8BOM);
    expectSymbol(generator, encoded(card, qrUTF8BOM));
    generator.SetQuietZone(0);
    expectSymbol(generator, encoded(card, qrUTF8BOM));
    const int n = generator.Rows();
    EXPECT_TRUE(generator.IsBlack(n - 8, 8)); // the dark module: row N - 8, column 8
    EXPECT_FALSE(generator.IsBlack(8, n - 8));

    generator.SetData("AB");
    EXPECT_EQ(generator.Rows(), 21);
    for (int ignored : {-1, 101}) {
        generator.SetQuietZone(ignored);
        EXPECT_EQ(generator.QuietZone(), 0);
    }
    generator.SetQuietZone(100);
    EXPECT_EQ(generator.Rows(), 221);
    EXPECT_TRUE(generator.IsBlack(100, 100));
    EXPECT_FALSE(generator.IsBlack(99, 100));
    EXPECT_FALSE(generator.IsBlack(121, 100));
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
    EXPECT_THROW(generator.SetData(kTooLarge), std::runtime_error);
    EXPECT_EQ(generator.Data(), kTooLarge);
    expectSymbol(generator, symbol);

    // The margin changes while sizes and modules stay those of the last symbol; reading the
    // old area stays within the modules held.
    EXPECT_THROW(generator.SetQuietZone(0), std::runtime_error);
    EXPECT_EQ(generator.QuietZone(), 0);
    EXPECT_EQ(generator.Rows(), 29);
    for (int row = 0; row < 29; ++row)
        for (int column = 0; column < 29; ++column)
            ASSERT_EQ(generator.IsBlack(row, column),
                      row < 21 && column < 21 && symbol.Get(column, row) == 1);
}
