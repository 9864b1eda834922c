#include "qrcode/encoder.h"

#include "qrcode/bytes16.h"
#include "qrcode/genericgf.h"
#include "qrcode/matrixutil.h"
#include "qrcode/qrcode.h"

#include "platform/utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

// Alphanumeric codes of the code units below 96: digits 0-9, capitals 10-35, then
// space $ % * + - . / : as 36-44.
constexpr std::array<std::int8_t, 96> kAlphanumericTable = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, // 0x00
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, // 0x10
    36, -1, -1, -1, 37, 38, -1, -1, -1, -1, 39, 40, -1, 41, 42, 43, // 0x20
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  44, -1, -1, -1, -1, -1, // 0x30
    -1, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, // 0x40
    25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, -1, -1, -1, -1, -1, // 0x50
};

constexpr std::uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::string tooLargeMessage(int size, int limit, const char* unit, char level) {
    return std::string("Texto grande demais para um código QR de nível ") + level + ": " +
           std::to_string(size) + " " + unit + " (máximo " + std::to_string(limit) + ").";
}

// Totals of one scan of a grid's columns (see scanColumns).
struct LineTotals {
    int runs = 0;
    int finders = 0;
    int blocks = 0;
    int dark = 0;
};

constexpr int kMaxDimension = 177;
constexpr std::uint8_t kFinderLike = 0x5D; // 1011101, first module in the highest bit

// Scans the columns of an n x n row-major grid of 0 and 1, row by row, with per-column state,
// sixteen columns at a time: the run penalty and the finder-like patterns along the columns
// and, when asked, the equal 2 x 2 blocks and the dark modules. Per-column totals fit a byte:
// a column of n modules scores at most n - 2 for its runs. Lanes past the last column read
// the next row's cells (or the buffer's slack) and are left out of the totals.
LineTotals scanColumns(const std::uint8_t* cells, int n, bool withBlocksAndDark) {
    constexpr int kWidth = (kMaxDimension + 15) / 16 * 16;
    const int width = (n + 15) / 16 * 16;
    alignas(16) std::uint8_t run[kWidth];
    alignas(16) std::uint8_t code[kWidth];
    alignas(16) std::uint8_t score[kWidth] = {};
    alignas(16) std::uint8_t blocks[kWidth] = {};
    alignas(16) std::uint8_t dark[kWidth];
    const Bytes16 one = Bytes16{} + 1;
    for (int x = 0; x < width; x += 16) {
        const Bytes16 first = load16(cells + x);
        store16(run + x, one);
        store16(code + x, first);
        store16(dark + x, first);
    }
    LineTotals totals;
    for (int y = 1; y < n; ++y) {
        const std::uint8_t* prev = cells + std::size_t(y - 1) * std::size_t(n);
        const std::uint8_t* row = cells + std::size_t(y) * std::size_t(n);
        unsigned hitChunks = 0; // bit c: a finder-like pattern ends in columns 16c .. 16c + 15
        for (int x = 0; x < width; x += 16) {
            const Bytes16 v = load16(row + x);
            const Bytes16 p = load16(prev + x);
            const Bytes16 same = (Bytes16)(v == p);
            const Bytes16 r = ((load16(run + x) + 1) & same) | (~same & 1);
            store16(run + x, r);
            // A run scores 3 when it reaches 5 modules and 1 for every module beyond.
            const Bytes16 points = ((Bytes16)(r == 5) & 3) | ((Bytes16)(r > 5) & 1);
            store16(score + x, load16(score + x) + points);
            const Bytes16 k = ((load16(code + x) << 1) | v) & 0x7F;
            store16(code + x, k);
            if (any16((Bytes16)(k == kFinderLike)))
                hitChunks |= 1u << (x / 16);
            if (withBlocksAndDark) {
                const Bytes16 p1 = load16(prev + x + 1);
                const Bytes16 v1 = load16(row + x + 1);
                const Bytes16 equal = (Bytes16)(p == p1) & (Bytes16)(p == v) & (Bytes16)(p == v1);
                store16(blocks + x, load16(blocks + x) - equal); // equal lanes are 0xFF, that is -1
                store16(dark + x, load16(dark + x) + v);
            }
        }
        // A pattern in rows y - 6 .. y counts with four light modules below or above it.
        for (; hitChunks != 0; hitChunks &= hitChunks - 1) {
            const int chunk = std::countr_zero(hitChunks) * 16;
            for (int x = chunk; x < std::min(chunk + 16, n); ++x) {
                if (code[x] != kFinderLike)
                    continue;
                const auto at = [&](int yy) {
                    return cells[std::size_t(yy) * std::size_t(n) + std::size_t(x)];
                };
                const bool lightBelow = y + 4 < n && !at(y + 1) && !at(y + 2) && !at(y + 3) && !at(y + 4);
                const bool lightAbove = y - 10 >= 0 && !at(y - 7) && !at(y - 8) && !at(y - 9) && !at(y - 10);
                if (lightBelow || lightAbove)
                    ++totals.finders;
            }
        }
    }
    for (int x = 0; x < n; ++x) {
        totals.runs += score[x];
        totals.dark += dark[x];
    }
    for (int x = 0; x < n - 1; ++x)
        totals.blocks += blocks[x];
    return totals;
}

int balanceScore(int darkCells, int totalCells) {
    const double darkRatio = double(darkCells) / double(totalCells);
    // Rounded half to even (the default rounding mode); the result is 0 or 1.
    return int(std::nearbyint(std::abs(100.0 * darkRatio - 50.0) / 50.0));
}

} // namespace

QRCodeTooLargeError::QRCodeTooLargeError(int size, int limit, const char* unit, char level)
    : std::runtime_error(tooLargeMessage(size, limit, unit, level)), FSize(size), FLimit(limit) {}

int TEncoder::AlphanumericCode(int codeUnit) {
    if (codeUnit < 0 || codeUnit >= int(kAlphanumericTable.size()))
        return -1;
    return kAlphanumericTable[std::size_t(codeUnit)];
}

int TEncoder::CharacterCountBits(TMode mode, int version) {
    const int range = version <= 9 ? 0 : version <= 26 ? 1 : 2;
    switch (mode) {
    case qmNumeric:
        return std::array{10, 12, 14}[std::size_t(range)];
    case qmAlphanumeric:
        return std::array{9, 11, 13}[std::size_t(range)];
    case qmByte:
        return std::array{8, 16, 16}[std::size_t(range)];
    case qmKanji:
    case qmHanzi:
        return std::array{8, 10, 12}[std::size_t(range)];
    default:
        return 0;
    }
}

int TEncoder::ModeIndicator(TMode mode) {
    switch (mode) {
    case qmTerminator:
        return 0x0;
    case qmNumeric:
        return 0x1;
    case qmAlphanumeric:
        return 0x2;
    case qmStructuredAppend:
        return 0x3;
    case qmByte:
        return 0x4;
    case qmECI:
        return 0x7;
    case qmKanji:
        return 0x8;
    case qmFNC1FirstPosition:
        return 0x5;
    case qmFNC1SecondPosition:
        return 0x9;
    case qmHanzi:
        return 0xD;
    }
    return 0;
}

TMode TEncoder::SelectMode(const QString& content, int& encodeOptions) const {
    if (encodeOptions == 1)
        return qmNumeric;
    if (encodeOptions == 2)
        return qmAlphanumeric;
    if (encodeOptions != 0)
        return qmByte;
    if (!content.isEmpty()) {
        const auto all = [&](auto test) {
            return std::all_of(content.begin(), content.end(), [&](QChar c) { return test(c.unicode()); });
        };
        if (all(isDigit))
            return qmNumeric;
        if (all([](char16_t c) { return AlphanumericCode(c) != -1; }))
            return qmAlphanumeric;
        if (all([](char16_t c) { return c <= 0xFF; })) {
            encodeOptions = 3;
            return qmByte;
        }
    }
    // Anything else, the empty text included: UTF-8 after a byte-order mark.
    encodeOptions = 4;
    return qmByte;
}

QString TEncoder::FilterText(const QString& content, TMode mode, int encodeOptions) const {
    QString result;
    result.reserve(content.size());
    for (QChar c : content) {
        const char16_t u = c.unicode();
        bool keep = false;
        switch (mode) {
        case qmNumeric:
            keep = isDigit(u);
            break;
        case qmAlphanumeric:
            keep = AlphanumericCode(u) != -1;
            break;
        case qmByte:
            keep = encodeOptions != 3 || u <= 0xFF;
            break;
        default:
            break;
        }
        if (keep)
            result.append(c);
    }
    return result;
}

void TEncoder::AppendData(const QString& content, TMode mode, int encodeOptions, TBitArray& bits) {
    switch (mode) {
    case qmNumeric:
        AppendNumericData(content, bits);
        break;
    case qmAlphanumeric:
        AppendAlphanumericData(content, bits);
        break;
    case qmByte:
        AppendByteData(content, encodeOptions, bits);
        break;
    default:
        FEncoderError = true;
        break;
    }
}

void TEncoder::AppendNumericData(const QString& content, TBitArray& bits) {
    const qsizetype length = content.size();
    qsizetype i = 0;
    const auto digit = [&](qsizetype k) { return std::uint32_t(content.at(k).unicode() - u'0'); };
    while (i < length) {
        if (i + 2 < length) {
            bits.AppendBits(digit(i) * 100 + digit(i + 1) * 10 + digit(i + 2), 10);
            i += 3;
        } else if (i + 1 < length) {
            bits.AppendBits(digit(i) * 10 + digit(i + 1), 7);
            i += 2;
        } else {
            bits.AppendBits(digit(i), 4);
            ++i;
        }
    }
}

void TEncoder::AppendAlphanumericData(const QString& content, TBitArray& bits) {
    const qsizetype length = content.size();
    qsizetype i = 0;
    while (i < length) {
        const int code1 = AlphanumericCode(content.at(i).unicode());
        if (code1 == -1) {
            FEncoderError = true;
            return;
        }
        if (i + 1 < length) {
            const int code2 = AlphanumericCode(content.at(i + 1).unicode());
            if (code2 == -1) {
                FEncoderError = true;
                return;
            }
            bits.AppendBits(std::uint32_t(code1 * 45 + code2), 11);
            i += 2;
        } else {
            bits.AppendBits(std::uint32_t(code1), 6);
            ++i;
        }
    }
}

void TEncoder::AppendByteData(const QString& content, int encodeOptions, TBitArray& bits) {
    if (encodeOptions == 3) {
        for (QChar c : content)
            bits.AppendBits(c.unicode() & 0xFFu, 8);
        return;
    }
    if (encodeOptions == 4)
        for (std::uint8_t b : kByteOrderMark)
            bits.AppendBits(b, 8);
    const QByteArray utf8 = lumo::toUtf8(content);
    for (char c : utf8)
        bits.AppendBits(std::uint8_t(c), 8);
}

void TEncoder::AppendModeIndicator(TMode mode, TBitArray& bits) {
    bits.AppendBits(std::uint32_t(ModeIndicator(mode)), 4);
}

void TEncoder::AppendCharacterCount(int numLetters, TMode mode, int version, TBitArray& bits) {
    const int numBits = CharacterCountBits(mode, version);
    if (numLetters > (1 << numBits) - 1) {
        FEncoderError = true;
        return;
    }
    bits.AppendBits(std::uint32_t(numLetters), numBits);
}

void TEncoder::TerminateAndPad(int numDataBytes, TBitArray& bits) {
    const int capacity = numDataBytes * 8;
    if (bits.GetSize() > capacity) {
        FEncoderError = true;
        return;
    }
    for (int i = 0; i < 4 && bits.GetSize() < capacity; ++i)
        bits.AppendBit(false);
    const int numBitsInLastByte = bits.GetSize() & 7;
    if (numBitsInLastByte > 0)
        for (int i = numBitsInLastByte; i < 8; ++i)
            bits.AppendBit(false);
    const int numPaddingBytes = numDataBytes - bits.GetSizeInBytes();
    for (int i = 0; i < numPaddingBytes; ++i)
        bits.AppendBits(i % 2 == 0 ? 0xEC : 0x11, 8);
    if (bits.GetSize() != capacity)
        FEncoderError = true;
}

void TEncoder::GetBlockSizes(int numTotalBytes, int numDataBytes, int numRSBlocks, int blockID,
                             int& numDataBytesInBlock, int& numECBytesInBlock) {
    if (numRSBlocks <= 0 || blockID >= numRSBlocks) {
        FEncoderError = true;
        return;
    }
    const int numRsBlocksInGroup2 = numTotalBytes % numRSBlocks;
    const int numRsBlocksInGroup1 = numRSBlocks - numRsBlocksInGroup2;
    const int numTotalBytesInGroup1 = numTotalBytes / numRSBlocks;
    const int numTotalBytesInGroup2 = numTotalBytesInGroup1 + 1;
    const int numDataBytesInGroup1 = numDataBytes / numRSBlocks;
    const int numDataBytesInGroup2 = numDataBytesInGroup1 + 1;
    const int numEcBytesInGroup1 = numTotalBytesInGroup1 - numDataBytesInGroup1;
    const int numEcBytesInGroup2 = numTotalBytesInGroup2 - numDataBytesInGroup2;
    if (numEcBytesInGroup1 != numEcBytesInGroup2 ||
        numRSBlocks != numRsBlocksInGroup1 + numRsBlocksInGroup2 ||
        numTotalBytes != (numDataBytesInGroup1 + numEcBytesInGroup1) * numRsBlocksInGroup1 +
                             (numDataBytesInGroup2 + numEcBytesInGroup2) * numRsBlocksInGroup2) {
        FEncoderError = true;
        return;
    }
    if (blockID < numRsBlocksInGroup1) {
        numDataBytesInBlock = numDataBytesInGroup1;
        numECBytesInBlock = numEcBytesInGroup1;
    } else {
        numDataBytesInBlock = numDataBytesInGroup2;
        numECBytesInBlock = numEcBytesInGroup2;
    }
}

TByteArray TEncoder::ComputeECBytes(const TByteArray& dataBytes, int numECBytesInBlock) {
    const std::size_t numDataBytes = dataBytes.size();
    TIntegerArray toEncode(numDataBytes + std::size_t(std::max(numECBytesInBlock, 0)), 0);
    std::copy(dataBytes.begin(), dataBytes.end(), toEncode.begin());
    const std::unique_ptr<TGenericGF> field = TGenericGF::CreateQRCodeField256();
    TReedSolomonEncoder encoder(field.get());
    encoder.Encode(toEncode, numECBytesInBlock);
    TByteArray ecBytes(toEncode.size() - numDataBytes);
    for (std::size_t i = 0; i < ecBytes.size(); ++i)
        ecBytes[i] = std::uint8_t(toEncode[numDataBytes + i] & 0xFF);
    return ecBytes;
}

void TEncoder::InterleaveBlocks(const TBitArray& bits, int numTotalBytes, int numDataBytes, int numRSBlocks,
                                TBitArray& result) {
    if (bits.GetSizeInBytes() != numDataBytes) {
        FEncoderError = true;
        return;
    }
    int dataBytesOffset = 0;
    std::size_t maxNumDataBytes = 0;
    std::size_t maxNumEcBytes = 0;
    std::vector<TBlockPair> blocks;
    for (int i = 0; i < numRSBlocks; ++i) {
        int numDataBytesInBlock = 0;
        int numEcBytesInBlock = 0;
        GetBlockSizes(numTotalBytes, numDataBytes, numRSBlocks, i, numDataBytesInBlock, numEcBytesInBlock);
        TByteArray dataBytes(static_cast<std::size_t>(numDataBytesInBlock));
        bits.ToBytes(8 * dataBytesOffset, dataBytes, 0, numDataBytesInBlock);
        TByteArray ecBytes = ComputeECBytes(dataBytes, numEcBytesInBlock);
        maxNumDataBytes = std::max(maxNumDataBytes, dataBytes.size());
        maxNumEcBytes = std::max(maxNumEcBytes, ecBytes.size());
        blocks.emplace_back(std::move(dataBytes), std::move(ecBytes));
        dataBytesOffset += numDataBytesInBlock;
    }
    if (numDataBytes != dataBytesOffset) {
        FEncoderError = true;
        return;
    }
    for (std::size_t i = 0; i < maxNumDataBytes; ++i)
        for (const TBlockPair& block : blocks)
            if (i < block.GetDataBytes().size())
                result.AppendBits(block.GetDataBytes()[i], 8);
    for (std::size_t i = 0; i < maxNumEcBytes; ++i)
        for (const TBlockPair& block : blocks)
            if (i < block.GetErrorCorrectionBytes().size())
                result.AppendBits(block.GetErrorCorrectionBytes()[i], 8);
    if (numTotalBytes != result.GetSizeInBytes())
        FEncoderError = true;
}

TByteArray TEncoder::interleaveCodewords(const TBitArray& bits, int numTotalBytes, int numDataBytes,
                                         int numRSBlocks) {
    TByteArray result;
    if (bits.GetSizeInBytes() != numDataBytes) {
        FEncoderError = true;
        return result;
    }
    TByteArray data(static_cast<std::size_t>(numDataBytes));
    bits.ToBytes(0, data, 0, numDataBytes);
    struct Block {
        int offset;
        int numData;
        int numEc;
    };
    std::vector<Block> blocks(std::size_t(std::max(numRSBlocks, 0)));
    int dataBytesOffset = 0;
    int maxNumDataBytes = 0;
    int maxNumEcBytes = 0;
    for (int i = 0; i < numRSBlocks; ++i) {
        Block& block = blocks[std::size_t(i)];
        block = {dataBytesOffset, 0, 0};
        GetBlockSizes(numTotalBytes, numDataBytes, numRSBlocks, i, block.numData, block.numEc);
        maxNumDataBytes = std::max(maxNumDataBytes, block.numData);
        maxNumEcBytes = std::max(maxNumEcBytes, block.numEc);
        dataBytesOffset += block.numData;
    }
    if (numDataBytes != dataBytesOffset) {
        FEncoderError = true;
        return result;
    }
    TByteArray ec(std::size_t(numRSBlocks) * std::size_t(maxNumEcBytes));
    for (int i = 0; i < numRSBlocks; ++i) {
        const Block& block = blocks[std::size_t(i)];
        qrReedSolomon(data.data() + block.offset, block.numData, ec.data() + std::size_t(i * maxNumEcBytes),
                      block.numEc);
    }
    result.reserve(std::size_t(numDataBytes) + ec.size());
    for (int k = 0; k < maxNumDataBytes; ++k)
        for (const Block& block : blocks)
            if (k < block.numData)
                result.push_back(data[std::size_t(block.offset + k)]);
    for (int k = 0; k < maxNumEcBytes; ++k)
        for (int i = 0; i < numRSBlocks; ++i)
            if (k < blocks[std::size_t(i)].numEc)
                result.push_back(ec[std::size_t(i * maxNumEcBytes + k)]);
    if (numTotalBytes != int(result.size()))
        FEncoderError = true;
    return result;
}

int TEncoder::SelectMaskPattern(const TBitArray& bits, const TErrorCorrectionLevel& ecLevel, int version,
                                TByteMatrix& matrix) {
    int minPenalty = INT_MAX;
    int bestMaskPattern = -1;
    for (int maskPattern = 0; maskPattern < 8; ++maskPattern) {
        TMatrixUtil().BuildMatrix(bits, ecLevel, version, maskPattern, matrix);
        const int penalty = MaskPenalty(matrix);
        if (penalty < minPenalty) {
            minPenalty = penalty;
            bestMaskPattern = maskPattern;
        }
    }
    return bestMaskPattern;
}

int TEncoder::MaskPenalty(const TByteMatrix& matrix) {
    return RunPenalty(matrix) + BlockPenalty(matrix) + FinderLikePenalty(matrix) + BalancePenalty(matrix);
}

int TEncoder::RunPenalty(const TByteMatrix& matrix) {
    return LineRunPenalty(matrix, true) + LineRunPenalty(matrix, false);
}

int TEncoder::LineRunPenalty(const TByteMatrix& matrix, bool horizontal) {
    const T2DByteArray& array = matrix.GetArray();
    const int iLimit = horizontal ? matrix.Height() : matrix.Width();
    const int jLimit = horizontal ? matrix.Width() : matrix.Height();
    int penalty = 0;
    int numSameBitCells = 0;
    int prevBit = -1;
    for (int i = 0; i < iLimit; ++i) {
        for (int j = 0; j < jLimit; ++j) {
            const int bit =
                horizontal ? array[std::size_t(i)][std::size_t(j)] : array[std::size_t(j)][std::size_t(i)];
            if (bit == prevBit) {
                ++numSameBitCells;
                // A run of 5 scores 3, every module beyond 5 one more.
                if (numSameBitCells == 5)
                    penalty += 3;
                else if (numSameBitCells > 5)
                    ++penalty;
            } else {
                numSameBitCells = 1;
                prevBit = bit;
            }
        }
        numSameBitCells = 0;
    }
    return penalty;
}

int TEncoder::BlockPenalty(const TByteMatrix& matrix) {
    const T2DByteArray& array = matrix.GetArray();
    int penalty = 0;
    for (int y = 0; y < matrix.Height() - 1; ++y) {
        const TByteArray& row = array[std::size_t(y)];
        const TByteArray& next = array[std::size_t(y + 1)];
        for (int x = 0; x < matrix.Width() - 1; ++x) {
            const std::uint8_t value = row[std::size_t(x)];
            if (value == row[std::size_t(x + 1)] && value == next[std::size_t(x)] &&
                value == next[std::size_t(x + 1)])
                penalty += 3;
        }
    }
    return penalty;
}

int TEncoder::FinderLikePenalty(const TByteMatrix& matrix) {
    const T2DByteArray& array = matrix.GetArray();
    const int width = matrix.Width();
    const int height = matrix.Height();
    static constexpr std::uint8_t kPattern[7] = {1, 0, 1, 1, 1, 0, 1};
    const auto at = [&](int x, int y) { return array[std::size_t(y)][std::size_t(x)]; };
    int numPenalties = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (x + 6 < width) {
                bool pattern = true;
                for (int k = 0; k < 7 && pattern; ++k)
                    pattern = at(x + k, y) == kPattern[k];
                if (pattern) {
                    const bool lightAfter = x + 10 < width && at(x + 7, y) == 0 && at(x + 8, y) == 0 &&
                                            at(x + 9, y) == 0 && at(x + 10, y) == 0;
                    const bool lightBefore = x - 4 >= 0 && at(x - 1, y) == 0 && at(x - 2, y) == 0 &&
                                             at(x - 3, y) == 0 && at(x - 4, y) == 0;
                    if (lightAfter || lightBefore)
                        ++numPenalties;
                }
            }
            if (y + 6 < height) {
                bool pattern = true;
                for (int k = 0; k < 7 && pattern; ++k)
                    pattern = at(x, y + k) == kPattern[k];
                if (pattern) {
                    const bool lightBelow = y + 10 < height && at(x, y + 7) == 0 && at(x, y + 8) == 0 &&
                                            at(x, y + 9) == 0 && at(x, y + 10) == 0;
                    const bool lightAbove = y - 4 >= 0 && at(x, y - 1) == 0 && at(x, y - 2) == 0 &&
                                            at(x, y - 3) == 0 && at(x, y - 4) == 0;
                    if (lightBelow || lightAbove)
                        ++numPenalties;
                }
            }
        }
    }
    return numPenalties * 40;
}

int TEncoder::BalancePenalty(const TByteMatrix& matrix) {
    int numDarkCells = 0;
    for (const TByteArray& row : matrix.GetArray())
        numDarkCells += int(std::count(row.begin(), row.end(), std::uint8_t(1)));
    return balanceScore(numDarkCells, matrix.Height() * matrix.Width());
}

int TEncoder::penaltyOfCells(const std::uint8_t* cells, const std::uint8_t* cellsT, int n) {
    const LineTotals columns = scanColumns(cells, n, true);
    const LineTotals rows = scanColumns(cellsT, n, false);
    return columns.runs + rows.runs + 3 * columns.blocks + 40 * (columns.finders + rows.finders) +
           balanceScore(columns.dark, n * n);
}

int TEncoder::fastMaskPenalty(const TByteMatrix& matrix) {
    const int n = matrix.Width();
    std::vector<std::uint8_t> cells(std::size_t(n) * std::size_t(n) + kCellSlack);
    std::vector<std::uint8_t> cellsT(cells.size());
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            cells[std::size_t(y * n + x)] = cellsT[std::size_t(x * n + y)] =
                matrix.GetArray()[std::size_t(y)][std::size_t(x)];
    return penaltyOfCells(cells.data(), cellsT.data(), n);
}

int TEncoder::maxCharacters(TMode mode, const TErrorCorrectionLevel& ecLevel) {
    const int dataBits = 8 * (TVersion::totalCodewords(40) - TVersion::totalECCodewords(40, ecLevel)) - 4 -
                         CharacterCountBits(mode, 40);
    switch (mode) {
    case qmNumeric: {
        const int rest = dataBits % 10;
        return 3 * (dataBits / 10) + (rest >= 7 ? 2 : rest >= 4 ? 1 : 0);
    }
    case qmAlphanumeric:
        return 2 * (dataBits / 11) + (dataBits % 11 >= 6 ? 1 : 0);
    default:
        return dataBits / 8;
    }
}

QREncodedData TEncoder::encodeData(const QString& content, int encodeOptions,
                                   const TErrorCorrectionLevel& ecLevel) {
    int options = encodeOptions;
    const TMode mode = SelectMode(content, options);
    const QString text = FilterText(content, mode, options);

    TBitArray dataBits;
    AppendData(text, mode, options, dataBits);
    TBitArray headerBits;
    AppendModeIndicator(mode, headerBits);

    // Byte mode counts bytes (a byte-order mark among them), the other modes characters.
    const int numLetters = mode == qmByte ? dataBits.GetSizeInBytes() : int(text.size());
    const auto tooLarge = [&] {
        const char* unit = mode == qmNumeric ? "dígitos" : mode == qmAlphanumeric ? "caracteres" : "bytes";
        return QRCodeTooLargeError(numLetters, maxCharacters(mode, ecLevel), unit, ecLevel.Name());
    };

    // The version is chosen twice: first with the count field of version 1, then with that
    // of the version the first pass found.
    const int provisionalBits = headerBits.GetSize() + CharacterCountBits(mode, 1) + dataBits.GetSize();
    const int provisionalVersion = TVersion::chooseVersionNumber(provisionalBits, ecLevel);
    if (provisionalVersion == 0)
        throw tooLarge();
    const int bitsNeeded =
        headerBits.GetSize() + CharacterCountBits(mode, provisionalVersion) + dataBits.GetSize();
    const int version = TVersion::chooseVersionNumber(bitsNeeded, ecLevel);
    if (version == 0)
        throw tooLarge();

    QREncodedData result;
    result.mode = mode;
    result.version = version;
    result.bits = TBitArray(bitsNeeded);
    result.bits.AppendBitArray(headerBits);
    AppendCharacterCount(numLetters, mode, version, result.bits);
    result.bits.AppendBitArray(dataBits);
    TerminateAndPad(TVersion::totalCodewords(version) - TVersion::totalECCodewords(version, ecLevel),
                    result.bits);
    return result;
}

void TEncoder::Encode(const QString& content, int encodeOptions, const TErrorCorrectionLevel& ecLevel,
                      TQRCode& qrCode) {
    const QREncodedData data = encodeData(content, encodeOptions, ecLevel);
    const TMode mode = data.mode;
    const int version = data.version;
    const int numTotalBytes = TVersion::totalCodewords(version);
    const int numDataBytes = numTotalBytes - TVersion::totalECCodewords(version, ecLevel);
    const TByteArray finalCodewords =
        interleaveCodewords(data.bits, numTotalBytes, numDataBytes, TVersion::numBlocks(version, ecLevel));

    qrCode.SetECLevel(ecLevel);
    qrCode.SetMode(mode);
    qrCode.SetVersion(version);

    // The eight candidates share the placed codewords; each differs only in its data mask
    // and format information. Both cell orders let rows and columns be scored as rows.
    const QRSymbolLayout& layout = TMatrixUtil::layoutFor(version);
    const int n = layout.dimension;
    const std::size_t cellCount = std::size_t(n) * std::size_t(n) + kCellSlack;
    std::vector<std::uint8_t> placed(cellCount);
    std::vector<std::uint8_t> placedT(cellCount);
    TMatrixUtil::placeCodewords(layout, finalCodewords, placed.data(), placedT.data());
    std::vector<std::uint8_t> candidate(cellCount);
    std::vector<std::uint8_t> candidateT(cellCount);
    std::vector<std::uint8_t> best(cellCount);
    int minPenalty = INT_MAX;
    int bestMaskPattern = -1;
    for (int maskPattern = 0; maskPattern < 8; ++maskPattern) {
        const int formatWord = TMatrixUtil::formatWord(ecLevel, maskPattern);
        TMatrixUtil::maskCandidate(layout, placed.data(), false, maskPattern, formatWord, candidate.data());
        TMatrixUtil::maskCandidate(layout, placedT.data(), true, maskPattern, formatWord, candidateT.data());
        const int penalty = penaltyOfCells(candidate.data(), candidateT.data(), n);
        if (penalty < minPenalty) {
            minPenalty = penalty;
            bestMaskPattern = maskPattern;
            best.swap(candidate);
        }
    }
    qrCode.SetMaskPattern(bestMaskPattern);

    auto matrix = std::make_unique<TByteMatrix>(n, n);
    T2DByteArray& rows = matrix->GetArray();
    for (int y = 0; y < n; ++y)
        std::copy_n(best.begin() + std::ptrdiff_t(y) * n, n, rows[std::size_t(y)].begin());
    qrCode.SetMatrix(std::move(matrix));
}
