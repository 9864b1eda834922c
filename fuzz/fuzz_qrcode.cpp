// Random UTF-16 text under every encoding option and quiet zone, through the generator the
// program uses and through the encoder beneath it.
//
// Input: byte 0 the encoding option, byte 1 the quiet zone (some values outside 0..100, which
// the generator must ignore), byte 2 how many times the text repeats (so short inputs reach
// the capacity), then the text as little-endian UTF-16 code units.
//
// Checked: a symbol of version v is 17 + 4v modules plus the margins wide and high, v is the
// smallest version whose level-L data capacity holds the text, the margin is light, the finder
// patterns and timing lines stand where they belong, every module is 0 or 1 and the
// generator shows the encoder's modules; a text over the capacity raises QRCodeTooLargeError
// (and only such a text), and the generator keeps its previous symbol.

#include "qrcode/encoder.h"
#include "qrcode/qrcode.h"
#include "qrcode/qrcodegenerator.h"

#include <QString>

#include "fuzzcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Data codewords of versions 1..40 at level L (ISO/IEC 18004, table 7).
constexpr int kDataCodewordsL[41] = {0,    19,   34,   55,   80,   108,  136,  156,  194,  232,  274,
                                     324,  370,  428,  461,  523,  589,  647,  721,  795,  861,  932,
                                     1006, 1094, 1174, 1276, 1370, 1468, 1531, 1631, 1735, 1843, 1955,
                                     2071, 2191, 2306, 2434, 2566, 2702, 2812, 2956};

enum class Kind { Numeric, Alphanumeric, Byte };

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool isAlphanumeric(char16_t c) {
    return isDigit(c) || (c >= u'A' && c <= u'Z') || c == u' ' || c == u'$' || c == u'%' || c == u'*' ||
           c == u'+' || c == u'-' || c == u'.' || c == u'/' || c == u':';
}

int utf8Length(const QString& text) {
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80)
            n += 1;
        else if (c < 0x800)
            n += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                 QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            n += 4;
            ++i;
        } else
            n += 3; // other characters, and an unpaired surrogate written as U+FFFD
    }
    return n;
}

// What the encoder must fit for a text and option: the segment kind and its length in
// characters (numeric, alphanumeric) or bytes.
struct Payload {
    Kind kind;
    int count;
};

Payload payloadOf(const QString& text, int option) {
    const auto count = [&](auto keep) {
        int n = 0;
        for (QChar c : text)
            n += keep(c.unicode()) ? 1 : 0;
        return n;
    };
    const auto all = [&](auto keep) { return !text.isEmpty() && count(keep) == text.size(); };
    switch (option) {
    case 1:
        return {Kind::Numeric, count(isDigit)};
    case 2:
        return {Kind::Alphanumeric, count(isAlphanumeric)};
    case 3:
        return {Kind::Byte, count([](char16_t c) { return c <= 0xFF; })};
    case 4:
        return {Kind::Byte, 3 + utf8Length(text)};
    case 5:
        return {Kind::Byte, utf8Length(text)};
    default:
        if (all(isDigit))
            return {Kind::Numeric, int(text.size())};
        if (all(isAlphanumeric))
            return {Kind::Alphanumeric, int(text.size())};
        if (all([](char16_t c) { return c <= 0xFF; }))
            return {Kind::Byte, int(text.size())};
        return {Kind::Byte, 3 + utf8Length(text)};
    }
}

int countBits(Kind kind, int version) {
    const int band = version <= 9 ? 0 : version <= 26 ? 1 : 2;
    static constexpr int bits[3][3] = {{10, 12, 14}, {9, 11, 13}, {8, 16, 16}};
    return bits[int(kind)][band];
}

int dataBits(Payload p) {
    switch (p.kind) {
    case Kind::Numeric:
        return 10 * (p.count / 3) + (p.count % 3 == 2 ? 7 : p.count % 3 == 1 ? 4 : 0);
    case Kind::Alphanumeric:
        return 11 * (p.count / 2) + 6 * (p.count % 2);
    case Kind::Byte:
        return 8 * p.count;
    }
    return 0;
}

// The smallest version that holds the payload, 0 for none.
int smallestVersion(Payload p) {
    for (int v = 1; v <= 40; ++v)
        if (4 + countBits(p.kind, v) + dataBits(p) <= 8 * kDataCodewordsL[v])
            return v;
    return 0;
}

struct Snapshot {
    int rows = 0, columns = 0;
    std::vector<bool> modules;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const TQRCodeGenerator& g) {
    Snapshot s{g.Rows(), g.Columns(), {}};
    for (int r = 0; r < s.rows; ++r)
        for (int c = 0; c < s.columns; ++c)
            s.modules.push_back(g.IsBlack(r, c));
    return s;
}

// The 7 × 7 finder pattern with its light separator, top left corner at (row, column).
void checkFinder(const TQRCodeGenerator& g, int q, int row, int column, int side) {
    for (int dr = -1; dr <= 7; ++dr)
        for (int dc = -1; dc <= 7; ++dc) {
            const int r = row + dr, c = column + dc;
            if (r < 0 || c < 0 || r >= side || c >= side)
                continue;
            const int ring =
                std::max(std::abs(2 * dr - 6), std::abs(2 * dc - 6)) / 2; // 0 centre .. 4 separator
            const bool dark = ring <= 1 || ring == 3;
            CHECK(g.IsBlack(q + r, q + c) == dark);
        }
}

void checkSymbol(const TQRCodeGenerator& g, const QString& text, int option, int q) {
    const int side = g.Rows() - 2 * q;
    CHECK(g.Rows() == g.Columns());
    CHECK(side >= 21 && (side - 17) % 4 == 0);
    const int version = (side - 17) / 4;
    CHECK(version >= 1 && version <= 40);
    CHECK(version == smallestVersion(payloadOf(text, option)));

    // The margin is light, and so is everything outside the symbol.
    for (int r = -1; r <= g.Rows(); ++r)
        for (int c = -1; c <= g.Columns(); ++c) {
            const bool inside = r >= q && c >= q && r < q + side && c < q + side;
            if (!inside)
                CHECK(!g.IsBlack(r, c));
        }

    checkFinder(g, q, 0, 0, side);
    checkFinder(g, q, 0, side - 7, side);
    checkFinder(g, q, side - 7, 0, side);
    for (int i = 8; i < side - 8; ++i) {
        CHECK(g.IsBlack(q + 6, q + i) == (i % 2 == 0));
        CHECK(g.IsBlack(q + i, q + 6) == (i % 2 == 0));
    }
    CHECK(g.IsBlack(q + side - 8, q + 8)); // the dark module

    // The encoder's own matrix: every cell decided, and the same modules as the generator shows.
    TEncoder encoder;
    TQRCode code;
    encoder.Encode(text, option, TErrorCorrectionLevel(1), code);
    CHECK(!encoder.EncoderError());
    CHECK(!code.QRCodeError());
    CHECK(code.Version() == version);
    CHECK(TQRCode::IsValidMaskPattern(code.MaskPattern()));
    const TByteMatrix* m = code.Matrix();
    CHECK(m && m->Width() == side && m->Height() == side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int v = m->Get(x, y);
            CHECK(v == 0 || v == 1);
            CHECK(g.IsBlack(q + y, q + x) == (v == 1));
        }
}

const QString kPrevious = QStringLiteral("BEGIN:VCARD");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const int option = data[0] % 6;
    const int quietZone = int(data[1]) - 16; // -16..239: about half outside 0..100
    const int repeats = 1 + data[2] % 8;
    QString unit;
    for (std::size_t i = 3; i + 1 < size; i += 2)
        unit.append(QChar(char16_t(data[i] | data[i + 1] << 8)));
    const QString text = unit.repeated(repeats);

    TQRCodeGenerator g;
    g.SetData(kPrevious);
    g.SetEncoding(TQRCodeEncoding(option));
    g.SetQuietZone(quietZone);
    const int q = quietZone >= 0 && quietZone <= 100 ? quietZone : 4;
    CHECK(g.QuietZone() == q);
    CHECK(int(g.Encoding()) == option);
    checkSymbol(g, kPrevious, option, q);
    const Snapshot previous = snapshot(g);

    const Payload payload = payloadOf(text, option);
    const int limit = payload.kind == Kind::Numeric ? 7089 : payload.kind == Kind::Alphanumeric ? 4296 : 2953;
    try {
        g.SetData(text);
    } catch (const QRCodeTooLargeError& e) {
        CHECK(payload.count > limit);
        CHECK(e.size() == payload.count);
        CHECK(e.limit() == limit);
        CHECK(g.Data() == text);
        CHECK(snapshot(g) == previous);
        // The generator still works afterwards.
        g.SetData(QStringLiteral("1"));
        checkSymbol(g, QStringLiteral("1"), option, q);
        return 0;
    }
    CHECK(payload.count <= limit);
    checkSymbol(g, text, option, q);
    return 0;
}
