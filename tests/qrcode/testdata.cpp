#include "testdata.h"

const std::vector<int> kByteCapacityL = {
    17,   32,   53,   78,   106,  134,  154,  192,  230,  271,  321,  367,  425,  458,
    520,  586,  644,  718,  792,  858,  929,  1003, 1091, 1171, 1273, 1367, 1465, 1528,
    1628, 1732, 1840, 1952, 2068, 2188, 2303, 2431, 2563, 2699, 2809, 2953,
};

std::vector<int> bytesOf(const TBitArray& bits) {
    TByteArray bytes(static_cast<std::size_t>(bits.GetSizeInBytes()));
    bits.ToBytes(0, bytes, 0, int(bytes.size()));
    return {bytes.begin(), bytes.end()};
}

TBitArray bitsOf(const std::vector<std::uint8_t>& bytes) {
    TBitArray bits;
    for (std::uint8_t b : bytes)
        bits.AppendBits(b, 8);
    return bits;
}

std::vector<std::uint8_t> randomBytes(std::mt19937& rng, int count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    for (std::uint8_t& b : bytes)
        b = std::uint8_t(rng() & 0xFF);
    return bytes;
}

QString asciiText(int count, unsigned seed) {
    std::mt19937 rng(seed);
    QString text;
    text.reserve(count);
    for (int i = 0; i < count; ++i)
        text.append(QChar(char16_t(0x20 + rng() % 95)));
    return text;
}

std::vector<std::uint8_t> cellsOf(const TByteMatrix& matrix) {
    std::vector<std::uint8_t> cells;
    for (const TByteArray& row : matrix.GetArray())
        cells.insert(cells.end(), row.begin(), row.end());
    return cells;
}
