#include "qrcode/encoder.h"
#include "qrcode/qrcode.h"
#include "qrcode/qrcodegenerator.h"

#include "testdata.h"

#include <gtest/gtest.h>
#include <qrcodegen/qrcodegen.hpp>
#include <zbar.h>

#include <memory>
#include <string>

namespace {

using namespace zbar; // the C interface, which zbar.h declares in this namespace for C++

// Renders a symbol as a grey picture with a 4-module margin, 4 pixels per module, and
// returns what zbar reads from it, as raw bytes (binary mode: no charset guessing).
std::vector<std::string> decodeWithZbar(const TByteMatrix& symbol) {
    constexpr int kScale = 4;
    constexpr int kMargin = 4;
    const int side = (symbol.Width() + 2 * kMargin) * kScale;
    std::vector<std::uint8_t> grey(std::size_t(side) * std::size_t(side), 255);
    for (int y = 0; y < symbol.Height(); ++y)
        for (int x = 0; x < symbol.Width(); ++x)
            if (symbol.Get(x, y) == 1)
                for (int dy = 0; dy < kScale; ++dy)
                    std::fill_n(grey.begin() + std::ptrdiff_t((kMargin + y) * kScale + dy) * side +
                                    (kMargin + x) * kScale,
                                kScale, std::uint8_t(0));

    const std::unique_ptr<zbar_image_scanner_t, decltype(&zbar_image_scanner_destroy)> scanner(
        zbar_image_scanner_create(), &zbar_image_scanner_destroy);
    zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    zbar_image_scanner_set_config(scanner.get(), ZBAR_QRCODE, ZBAR_CFG_ENABLE, 1);
    zbar_image_scanner_set_config(scanner.get(), ZBAR_QRCODE, ZBAR_CFG_BINARY, 1);
    const std::unique_ptr<zbar_image_t, decltype(&zbar_image_destroy)> image(zbar_image_create(),
                                                                             &zbar_image_destroy);
    zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image.get(), unsigned(side), unsigned(side));
    zbar_image_set_data(image.get(), grey.data(), grey.size(), nullptr);
    zbar_scan_image(scanner.get(), image.get());

    std::vector<std::string> found;
    for (const zbar_symbol_t* s = zbar_image_first_symbol(image.get()); s; s = zbar_symbol_next(s))
        found.emplace_back(zbar_symbol_get_data(s), zbar_symbol_get_data_length(s));
    return found;
}

struct Decoded {
    int version;
    std::vector<std::string> texts;
};

Decoded encodeAndDecode(const QString& text, TQRCodeEncoding encoding) {
    TEncoder encoder;
    TQRCode record;
    encoder.Encode(text, int(encoding), TErrorCorrectionLevel(1), record);
    EXPECT_FALSE(encoder.EncoderError());
    return {record.Version(), decodeWithZbar(*record.Matrix())};
}

std::string bytes(const QByteArray& b) {
    return b.toStdString();
}
const std::string kBom = "\xEF\xBB\xBF";

} // namespace

TEST(Decode, TextsReadBackAsTheirBytes) {
    const QString accents = QString::fromUtf8("Conceição Araújo, São Paulo — ÀÉÎÕÜ àéîõü ç ñ");
    const QString latin1 = QString::fromUtf8("Avenida São João, 1500 - Aclimação");
    const QString emoji = QString::fromUtf8("Oi 😀👍🏽 café ☕ 𝄞");
    const QString vcard =
        QString::fromUtf8("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Araújo;José;;;\r\nFN:José Araújo\r\n"
                          "TEL;TYPE=CELL:+55 11 91234-5678\r\nEMAIL:jose@exemplo.com.br\r\n"
                          "ADR:;;Rua das Flores, 120;Curitiba;PR;80010-000;Brasil\r\nEND:VCARD");
    QString digits;
    QString alphanumeric;
    for (int i = 0; i < 7089; ++i)
        digits.append(QChar(u'0' + (i * 7 + i / 13) % 10));
    for (int i = 0; i < 1000; ++i)
        alphanumeric.append(QChar("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:"[(i * 11 + i / 7) % 45]));
    struct Case {
        const char* what;
        QString text;
        TQRCodeEncoding encoding;
        std::string expected;
    };
    const Case cases[] = {
        {"ASCII", "Hello, World! 123", qrUTF8BOM, "Hello, World! 123"},
        {"vCard", vcard, qrUTF8BOM, bytes(vcard.toUtf8())},
        {"vCard under qrAuto: Latin-1", vcard, qrAuto, bytes(vcard.toLatin1())},
        {"accents, UTF-8", accents, qrUTF8BOM, bytes(accents.toUtf8())},
        {"accents, mark and UTF-8", accents, qrUTF8NoBOM, kBom + bytes(accents.toUtf8())},
        {"Latin-1 accents under qrAuto", latin1, qrAuto, bytes(latin1.toLatin1())},
        {"Latin-1 option", latin1 + QString::fromUtf8(" €"), qrISO88591, bytes(latin1.toLatin1()) + " "},
        {"emoji, UTF-8", emoji, qrUTF8BOM, bytes(emoji.toUtf8())},
        {"emoji under qrAuto: mark and UTF-8", emoji, qrAuto, kBom + bytes(emoji.toUtf8())},
        {"lone surrogate", QString("a") + QChar(0xDC00) + "b", qrUTF8BOM,
         "a\xEF\xBF\xBD"
         "b"},
        {"numeric under qrAuto", "3141592653589793238462643383279", qrAuto,
         "3141592653589793238462643383279"},
        {"numeric option filters", "tel. (41) 3333-4444", qrNumeric, "4133334444"},
        {"alphanumeric under qrAuto", "HTTP://EXEMPLO.COM.BR/A B$%*+-.:", qrAuto,
         "HTTP://EXEMPLO.COM.BR/A B$%*+-.:"},
        {"alphanumeric option filters", "Rua A, 12-B", qrAlphanumeric, "R A 12-B"},
        {"empty, UTF-8", "", qrUTF8BOM, ""},
        {"empty under qrAuto: the mark alone", "", qrAuto, kBom},
        {"7089 digits (version 40)", digits, qrAuto, digits.toStdString()},
        {"1000 alphanumeric characters", alphanumeric, qrAuto, alphanumeric.toStdString()},
    };
    for (const Case& c : cases) {
        const Decoded decoded = encodeAndDecode(c.text, c.encoding);
        ASSERT_EQ(decoded.texts.size(), 1u) << c.what;
        EXPECT_EQ(decoded.texts[0], c.expected) << c.what;
    }
}

// One symbol of each version: the largest byte text it holds at level L.
TEST(Decode, EveryVersionReadsBack) {
    for (int v = 1; v <= 40; ++v) {
        const QString text = asciiText(kByteCapacityL[std::size_t(v - 1)], unsigned(v));
        const Decoded decoded = encodeAndDecode(text, qrUTF8BOM);
        EXPECT_EQ(decoded.version, v);
        ASSERT_EQ(decoded.texts.size(), 1u) << "version " << v;
        EXPECT_EQ(decoded.texts[0], text.toStdString()) << "version " << v;
    }
}

// Each level through the generator: texts of several lengths scan back, the longest text
// the level holds fits version 40 and one byte more is refused with the level's maximum.
TEST(Decode, EveryErrorCorrectionLevelReadsBackToItsCapacity) {
    const struct {
        TQRErrorCorrection level;
        char name;
        int capacity;
    } levels[] = {{qrLevelL, 'L', 2953}, {qrLevelM, 'M', 2331}, {qrLevelQ, 'Q', 1663}, {qrLevelH, 'H', 1273}};
    for (const auto& l : levels) {
        for (int length : {1, 60, 400, l.capacity}) {
            TQRCodeGenerator generator;
            generator.SetQuietZone(0);
            generator.SetEncoding(qrUTF8BOM);
            generator.SetErrorCorrection(l.level);
            const QString text = asciiText(length, unsigned(length + l.name));
            generator.SetData(text);
            TByteMatrix symbol(generator.Columns(), generator.Rows());
            for (int y = 0; y < generator.Rows(); ++y)
                for (int x = 0; x < generator.Columns(); ++x)
                    symbol.SetBoolean(x, y, generator.IsBlack(y, x));
            const std::vector<std::string> texts = decodeWithZbar(symbol);
            ASSERT_EQ(texts.size(), 1u) << l.name << " " << length;
            EXPECT_EQ(texts[0], text.toStdString()) << l.name << " " << length;
            if (length == l.capacity) {
                EXPECT_EQ(generator.Columns(), 177) << l.name;
            }
        }
        TQRCodeGenerator generator;
        generator.SetErrorCorrection(l.level);
        generator.SetEncoding(qrUTF8BOM);
        try {
            generator.SetData(asciiText(l.capacity + 1, 7));
            ADD_FAILURE() << "level " << l.name << " took one byte more than its capacity";
        } catch (const QRCodeTooLargeError& e) {
            EXPECT_EQ(e.limit(), l.capacity);
            EXPECT_NE(std::string(e.what()).find(std::string("nível ") + l.name), std::string::npos)
                << e.what();
        }
    }
}

// The block tables of every version and level: our symbol, module for module, is the one
// qrcodegen builds for the same bytes, level, version and mask, and zbar reads it back. Each
// version is filled once to its last byte and once with the fewest bytes it is chosen for
// (pad codewords then fill most of it).
TEST(Decode, EveryVersionAndLevelMatchesQrcodegenAndScans) {
    using qrcodegen::QrCode;
    const std::pair<TErrorCorrectionLevel, QrCode::Ecc> levels[] = {
        {TErrorCorrectionLevel::L(), QrCode::Ecc::LOW},
        {TErrorCorrectionLevel::M(), QrCode::Ecc::MEDIUM},
        {TErrorCorrectionLevel::Q(), QrCode::Ecc::QUARTILE},
        {TErrorCorrectionLevel::H(), QrCode::Ecc::HIGH},
    };
    const auto capacity = [](int version, const TErrorCorrectionLevel& level) {
        const int dataBits =
            8 * (TVersion::totalCodewords(version) - TVersion::totalECCodewords(version, level));
        return (dataBits - 4 - (version <= 9 ? 8 : 16)) / 8;
    };
    for (const auto& [level, ecc] : levels) {
        for (int version = 1; version <= 40; ++version) {
            const int most = capacity(version, level);
            const int fewest = version == 1 ? 1 : capacity(version - 1, level) + 1;
            for (int length : {most, fewest}) {
                SCOPED_TRACE(std::string("level ") + level.Name() + ", version " + std::to_string(version) +
                             ", " + std::to_string(length) + " bytes");
                const QString text = asciiText(length, unsigned(version * 4 + level.Ordinal()));
                TEncoder encoder;
                TQRCode ours;
                encoder.Encode(text, int(qrUTF8BOM), level, ours);
                ASSERT_EQ(ours.Version(), version);
                const QByteArray bytes = text.toLatin1();
                const QrCode theirs = QrCode::encodeSegments(
                    {qrcodegen::QrSegment::makeBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()))},
                    ecc, version, version, ours.MaskPattern(), false);
                const TByteMatrix& symbol = *ours.Matrix();
                ASSERT_EQ(symbol.Width(), theirs.getSize());
                int differ = 0;
                for (int y = 0; y < symbol.Height(); ++y)
                    for (int x = 0; x < symbol.Width(); ++x)
                        differ += (symbol.Get(x, y) == 1) != theirs.getModule(x, y);
                EXPECT_EQ(differ, 0);
                if (length == most) {
                    EXPECT_EQ(decodeWithZbar(symbol), std::vector<std::string>{bytes.toStdString()});
                }
            }
        }
    }
}
