#include "qrcode/matrixutil.h"

#include "qrcode/bytes16.h"
#include "qrcode/maskutil.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

constexpr std::uint8_t kFinderPatternCells[7][7] = {
    {1, 1, 1, 1, 1, 1, 1}, {1, 0, 0, 0, 0, 0, 1}, {1, 0, 1, 1, 1, 0, 1}, {1, 0, 1, 1, 1, 0, 1},
    {1, 0, 1, 1, 1, 0, 1}, {1, 0, 0, 0, 0, 0, 1}, {1, 1, 1, 1, 1, 1, 1},
};
constexpr std::uint8_t kAlignmentPatternCells[5][5] = {
    {1, 1, 1, 1, 1}, {1, 0, 0, 0, 1}, {1, 0, 1, 0, 1}, {1, 0, 0, 0, 1}, {1, 1, 1, 1, 1},
};
constexpr std::uint8_t kSeparatorRow[1][8] = {{0, 0, 0, 0, 0, 0, 0, 0}};
constexpr std::uint8_t kSeparatorColumn[7][1] = {{0}, {0}, {0}, {0}, {0}, {0}, {0}};

// (x, y) of format bits 0 to 14 around the top-left finder.
constexpr int kFormatInfoPositions[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                                             {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};

constexpr std::uint32_t kFormatInfoPoly = 0x537; // x^10 + x^8 + x^5 + x^4 + x^2 + x + 1
constexpr std::uint32_t kFormatInfoMask = 0x5412;
constexpr std::uint32_t kVersionInfoPoly = 0x1F25; // x^12 + x^11 + x^10 + x^9 + x^8 + x^5 + x^2 + 1

// The second copy of format bit k: below the top-right finder (k < 8) or beside the bottom-left one.
void secondFormatPosition(int k, int n, int& x, int& y) {
    if (k < 8) {
        x = n - 1 - k;
        y = 8;
    } else {
        x = 8;
        y = n - 15 + k;
    }
}

// Visits the modules in the zig-zag order of data placement: column pairs from the right,
// alternately upwards and downwards, skipping the vertical timing column.
template <class Visit> void walkDataModules(int n, Visit&& visit) {
    int dir = -1;
    int x = n - 1;
    int y = n - 1;
    while (x > 0) {
        if (x == 6)
            x = 5;
        while (y >= 0 && y < n) {
            visit(x, y);
            visit(x - 1, y);
            y += dir;
        }
        dir = -dir;
        y += dir;
        x -= 2;
    }
}

// Mask bits are periodic with period 12 in rows and columns. maskRows[m][y % 12][x] and
// maskColumns[m][x % 12][y] both give GetDataMaskBit(m, x, y), for the two cell orders,
// over whole vectors of 16 cells.
constexpr int kMaxDimension = (177 + 15) / 16 * 16;
struct MaskTables {
    std::uint8_t maskRows[8][12][kMaxDimension];
    std::uint8_t maskColumns[8][12][kMaxDimension];
    MaskTables() {
        for (int m = 0; m < 8; ++m)
            for (int r = 0; r < 12; ++r)
                for (int k = 0; k < kMaxDimension; ++k) {
                    maskRows[m][r][k] = TMaskUtil::GetDataMaskBit(m, k, r) ? 1 : 0;
                    maskColumns[m][r][k] = TMaskUtil::GetDataMaskBit(m, r, k) ? 1 : 0;
                }
    }
};

const MaskTables& maskTables() {
    static const MaskTables tables;
    return tables;
}

} // namespace

template <int Rows, int Cols>
void TMatrixUtil::drawPattern(const std::uint8_t (&cells)[Rows][Cols], int left, int top,
                              TByteMatrix& matrix) {
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Cols; ++c) {
            if (!IsUnset(matrix.Get(left + c, top + r))) {
                FMatrixUtilError = true;
                return;
            }
            matrix.SetInteger(left + c, top + r, cells[r][c]);
        }
}

void TMatrixUtil::BuildMatrix(const TBitArray& dataBits, const TErrorCorrectionLevel& ecLevel, int version,
                              int maskPattern, TByteMatrix& matrix) {
    ClearModules(matrix);
    DrawFunctionPatterns(version, matrix);
    WriteFormatInfo(ecLevel, maskPattern, matrix);
    WriteVersionInfo(version, matrix);
    PlaceDataBits(dataBits, maskPattern, matrix);
}

void TMatrixUtil::ClearModules(TByteMatrix& matrix) {
    matrix.Clear(255);
}

void TMatrixUtil::DrawFunctionPatterns(int version, TByteMatrix& matrix) {
    DrawFindersAndSeparators(matrix);
    DrawDarkModule(matrix);
    DrawAlignmentPatterns(version, matrix);
    DrawTimingPatterns(matrix);
}

void TMatrixUtil::DrawFindersAndSeparators(TByteMatrix& matrix) {
    const int n = matrix.Width();
    DrawFinder(0, 0, matrix);
    DrawFinder(n - 7, 0, matrix);
    DrawFinder(0, n - 7, matrix);
    DrawSeparatorRow(0, 7, matrix);
    DrawSeparatorRow(n - 8, 7, matrix);
    DrawSeparatorRow(0, n - 8, matrix);
    DrawSeparatorColumn(7, 0, matrix);
    DrawSeparatorColumn(n - 8, 0, matrix);
    DrawSeparatorColumn(7, n - 7, matrix);
}

void TMatrixUtil::DrawFinder(int left, int top, TByteMatrix& matrix) {
    drawPattern(kFinderPatternCells, left, top, matrix);
}

void TMatrixUtil::DrawSeparatorRow(int left, int top, TByteMatrix& matrix) {
    drawPattern(kSeparatorRow, left, top, matrix);
}

void TMatrixUtil::DrawSeparatorColumn(int left, int top, TByteMatrix& matrix) {
    drawPattern(kSeparatorColumn, left, top, matrix);
}

void TMatrixUtil::DrawDarkModule(TByteMatrix& matrix) {
    const int y = matrix.Height() - 8;
    if (matrix.Get(8, y) == 0) {
        FMatrixUtilError = true;
        return;
    }
    matrix.SetInteger(8, y, 1);
}

void TMatrixUtil::DrawAlignmentPatterns(int version, TByteMatrix& matrix) {
    if (version < 2)
        return;
    const std::array<int, 7>& centres = TVersion::alignmentCentreTable()[std::size_t(version - 1)];
    for (int y : centres)
        for (int x : centres) {
            // Skips the padding and the three centres that fall on finder patterns.
            if (y == -1 || x == -1 || !IsUnset(matrix.Get(x, y)))
                continue;
            DrawAlignment(x - 2, y - 2, matrix);
        }
}

void TMatrixUtil::DrawAlignment(int left, int top, TByteMatrix& matrix) {
    drawPattern(kAlignmentPatternCells, left, top, matrix);
}

void TMatrixUtil::DrawTimingPatterns(TByteMatrix& matrix) {
    const int n = matrix.Width();
    for (int i = 8; i <= n - 9; ++i) {
        const int bit = (i + 1) % 2; // dark at even positions
        if (IsUnset(matrix.Get(i, 6)))
            matrix.SetInteger(i, 6, bit);
        if (IsUnset(matrix.Get(6, i)))
            matrix.SetInteger(6, i, bit);
    }
}

void TMatrixUtil::FormatInfoBits(const TErrorCorrectionLevel& ecLevel, int maskPattern, TBitArray& bits) {
    if (maskPattern < 0 || maskPattern > 7)
        return;
    const std::uint32_t typeInfo = std::uint32_t(ecLevel.Bits() * 8 + maskPattern);
    bits.AppendBits(typeInfo, 5);
    bits.AppendBits(BchRemainder(typeInfo, kFormatInfoPoly), 10);
    TBitArray maskBits;
    maskBits.AppendBits(kFormatInfoMask, 15);
    bits.XorOperation(maskBits);
    if (bits.GetSize() != 15)
        FMatrixUtilError = true;
}

void TMatrixUtil::WriteFormatInfo(const TErrorCorrectionLevel& ecLevel, int maskPattern,
                                  TByteMatrix& matrix) {
    TBitArray bits;
    FormatInfoBits(ecLevel, maskPattern, bits);
    if (bits.GetSize() == 0)
        return;
    std::uint32_t word = 0;
    for (int i = 0; i < bits.GetSize(); ++i)
        word = word << 1 | (bits.Get(i) ? 1u : 0u);
    const int n = matrix.Width();
    for (int k = 0; k < 15; ++k) {
        const int bit = int(word >> k) & 1;
        matrix.SetInteger(kFormatInfoPositions[k][0], kFormatInfoPositions[k][1], bit);
        int x = 0;
        int y = 0;
        secondFormatPosition(k, n, x, y);
        matrix.SetInteger(x, y, bit);
    }
}

void TMatrixUtil::VersionInfoBits(int version, TBitArray& bits) {
    bits.AppendBits(std::uint32_t(version), 6);
    bits.AppendBits(BchRemainder(std::uint32_t(version), kVersionInfoPoly), 12);
    if (bits.GetSize() != 18)
        FMatrixUtilError = true;
}

void TMatrixUtil::WriteVersionInfo(int version, TByteMatrix& matrix) {
    if (version < 7)
        return;
    TBitArray bits;
    VersionInfoBits(version, bits);
    std::uint32_t word = 0;
    for (int i = 0; i < bits.GetSize(); ++i)
        word = word << 1 | (bits.Get(i) ? 1u : 0u);
    const int n = matrix.Width();
    for (int k = 0; k < 18; ++k) {
        const int bit = int(word >> k) & 1;
        matrix.SetInteger(k / 3, n - 11 + k % 3, bit);
        matrix.SetInteger(n - 11 + k % 3, k / 3, bit);
    }
}

void TMatrixUtil::PlaceDataBits(const TBitArray& dataBits, int maskPattern, TByteMatrix& matrix) {
    int next = 0;
    const int size = dataBits.GetSize();
    walkDataModules(matrix.Width(), [&](int x, int y) {
        if (!IsUnset(matrix.Get(x, y)))
            return;
        bool bit = false; // remainder modules get 0 before masking
        if (next < size)
            bit = dataBits.Get(next++);
        if (maskPattern != -1 && TMaskUtil::GetDataMaskBit(maskPattern, x, y))
            bit = !bit;
        matrix.SetBoolean(x, y, bit);
    });
    if (next != size)
        FMatrixUtilError = true; // bits left over
}

int TMatrixUtil::BitLength(std::uint32_t value) {
    int length = 0;
    while (value != 0) {
        ++length;
        value >>= 1;
    }
    return length;
}

std::uint32_t TMatrixUtil::BchRemainder(std::uint32_t value, std::uint32_t poly) {
    const int d = BitLength(poly);
    value <<= d - 1;
    while (BitLength(value) >= d)
        value ^= poly << (BitLength(value) - d);
    return value;
}

std::unique_ptr<QRSymbolLayout> TMatrixUtil::buildLayout(int version) {
    auto layout = std::make_unique<QRSymbolLayout>();
    const int n = 17 + 4 * version;
    const std::size_t count = std::size_t(n) * std::size_t(n);
    layout->dimension = n;
    const std::size_t withSlack = count + kCellSlack;

    // The steps of a real build before the data placement (the format modules get a placeholder).
    TByteMatrix matrix(n, n);
    TMatrixUtil util;
    util.ClearModules(matrix);
    util.DrawFunctionPatterns(version, matrix);
    util.WriteFormatInfo(TErrorCorrectionLevel(1), 0, matrix);
    util.WriteVersionInfo(version, matrix);

    layout->functionCells.assign(withSlack, 0);
    layout->functionCellsT.assign(withSlack, 0);
    layout->dataCells.assign(withSlack, 0);
    layout->dataCellsT.assign(withSlack, 0);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const std::size_t index = std::size_t(y * n + x);
            const std::size_t indexT = std::size_t(x * n + y);
            const int value = matrix.Get(x, y);
            const std::uint8_t cell = IsUnset(value) ? 0 : std::uint8_t(value);
            layout->functionCells[index] = layout->functionCellsT[indexT] = cell;
            layout->dataCells[index] = layout->dataCellsT[indexT] = IsUnset(value) ? 1 : 0;
        }
    for (int k = 0; k < 15; ++k) {
        const int x1 = kFormatInfoPositions[k][0];
        const int y1 = kFormatInfoPositions[k][1];
        int x2 = 0;
        int y2 = 0;
        secondFormatPosition(k, n, x2, y2);
        layout->formatFirst[std::size_t(k)] = std::uint16_t(y1 * n + x1);
        layout->formatSecond[std::size_t(k)] = std::uint16_t(y2 * n + x2);
        layout->formatFirstT[std::size_t(k)] = std::uint16_t(x1 * n + y1);
        layout->formatSecondT[std::size_t(k)] = std::uint16_t(x2 * n + y2);
        layout->functionCells[std::size_t(y1 * n + x1)] = layout->functionCells[std::size_t(y2 * n + x2)] = 0;
        layout->functionCellsT[std::size_t(x1 * n + y1)] = layout->functionCellsT[std::size_t(x2 * n + y2)] =
            0;
    }
    walkDataModules(n, [&](int x, int y) {
        if (!IsUnset(matrix.Get(x, y)))
            return;
        layout->dataOrder.push_back(std::uint16_t(y * n + x));
        layout->dataOrderT.push_back(std::uint16_t(x * n + y));
    });
    return layout;
}

const QRSymbolLayout& TMatrixUtil::layoutFor(int version) {
    static std::array<std::once_flag, 40> built;
    static std::array<std::unique_ptr<QRSymbolLayout>, 40> layouts;
    const std::size_t i = std::size_t(version - 1);
    std::call_once(built[i], [&] { layouts[i] = buildLayout(version); });
    return *layouts[i];
}

int TMatrixUtil::formatWord(const TErrorCorrectionLevel& ecLevel, int maskPattern) {
    TMatrixUtil util;
    TBitArray bits;
    util.FormatInfoBits(ecLevel, maskPattern, bits);
    int word = 0;
    for (int i = 0; i < bits.GetSize(); ++i)
        word = word << 1 | (bits.Get(i) ? 1 : 0);
    return word;
}

void TMatrixUtil::placeCodewords(const QRSymbolLayout& layout, const TByteArray& codewords,
                                 std::uint8_t* cells, std::uint8_t* cellsT) {
    std::copy(layout.functionCells.begin(), layout.functionCells.end(), cells);
    std::copy(layout.functionCellsT.begin(), layout.functionCellsT.end(), cellsT);
    const std::size_t modules = layout.dataOrder.size();
    const std::uint16_t* order = layout.dataOrder.data();
    const std::uint16_t* orderT = layout.dataOrderT.data();
    // Bits past the codewords (the remainder bits) stay 0, as in the function cells.
    const std::size_t placed = std::min(modules, codewords.size() * 8);
    for (std::size_t k = 0; k < placed; ++k) {
        const std::uint8_t bit = (codewords[k >> 3] >> (7 - (k & 7))) & 1;
        cells[order[k]] = bit;
        cellsT[orderT[k]] = bit;
    }
}

void TMatrixUtil::maskCandidate(const QRSymbolLayout& layout, const std::uint8_t* placed, bool transposed,
                                int maskPattern, int formatWord, std::uint8_t* out) {
    const int n = layout.dimension;
    const std::uint8_t* data = transposed ? layout.dataCellsT.data() : layout.dataCells.data();
    const auto& masks =
        transposed ? maskTables().maskColumns[maskPattern] : maskTables().maskRows[maskPattern];
    // Rows in order: the lanes a row writes past its end are rewritten by the next row.
    for (int r = 0; r < n; ++r) {
        const std::uint8_t* mask = masks[r % 12];
        const std::size_t offset = std::size_t(r) * std::size_t(n);
        for (int c = 0; c < n; c += 16)
            store16(out + offset + c,
                    load16(placed + offset + c) ^ (load16(data + offset + c) & load16(mask + c)));
    }
    const auto& first = transposed ? layout.formatFirstT : layout.formatFirst;
    const auto& second = transposed ? layout.formatSecondT : layout.formatSecond;
    for (std::size_t k = 0; k < 15; ++k) {
        const std::uint8_t bit = std::uint8_t((formatWord >> k) & 1);
        out[first[k]] = bit;
        out[second[k]] = bit;
    }
}
