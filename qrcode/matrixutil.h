#pragma once

#include "qrcode/bitarray.h"
#include "qrcode/bytematrix.h"
#include "qrcode/version.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// What stays the same in every symbol of one version, for building the eight mask
// candidates without eight full builds. Cells are stored twice, row-major (index y * n + x)
// and column-major (index x * n + y), so that rows and columns can both be scanned as rows.
// Cell buffers here and in the operations below carry kCellSlack spare bytes (qrcode/bytes16.h).
struct QRSymbolLayout {
    int dimension = 0;
    // Finder, separator, timing and alignment patterns, dark module and version information;
    // 0 on data and format modules.
    std::vector<std::uint8_t> functionCells;
    std::vector<std::uint8_t> functionCellsT;
    // 1 on data modules, 0 elsewhere.
    std::vector<std::uint8_t> dataCells;
    std::vector<std::uint8_t> dataCellsT;
    // The data modules in placement order.
    std::vector<std::uint16_t> dataOrder;
    std::vector<std::uint16_t> dataOrderT;
    // The two modules of format bit k.
    std::array<std::uint16_t, 15> formatFirst{};
    std::array<std::uint16_t, 15> formatSecond{};
    std::array<std::uint16_t, 15> formatFirstT{};
    std::array<std::uint16_t, 15> formatSecondT{};
};

// Builds the complete module matrix of a symbol from its final codeword bits.
class TMatrixUtil {
public:
    TMatrixUtil() = default;

    // Overwrites every module of the (17 + 4 * version)-square matrix: function patterns,
    // format and version information, then the data bits under the mask.
    void BuildMatrix(const TBitArray& dataBits, const TErrorCorrectionLevel& ecLevel, int version,
                     int maskPattern, TByteMatrix& matrix);
    // Set on a conflict during a build; never cleared.
    bool MatrixUtilError() const { return FMatrixUtilError; }

    // The 15 format bits (level and mask, BCH code, masked with 0x5412), first bit most significant;
    // left empty for a mask outside 0..7.
    void FormatInfoBits(const TErrorCorrectionLevel& ecLevel, int maskPattern, TBitArray& bits);
    // The 18 version information bits (version, BCH code), first bit most significant.
    void VersionInfoBits(int version, TBitArray& bits);
    // Remainder of value * x^(degree of poly) divided by poly, over GF(2).
    static std::uint32_t BchRemainder(std::uint32_t value, std::uint32_t poly);
    static int BitLength(std::uint32_t value);

    // The cached layout of a version (1..40), built once per process on first use.
    static const QRSymbolLayout& layoutFor(int version);
    // The format information of level and mask as a 15-bit number.
    static int formatWord(const TErrorCorrectionLevel& ecLevel, int maskPattern);
    // The layout with the codeword bits placed unmasked (missing bits are 0), in both orders.
    static void placeCodewords(const QRSymbolLayout& layout, const TByteArray& codewords, std::uint8_t* cells,
                               std::uint8_t* cellsT);
    // One mask candidate: the placed cells with the mask applied to the data modules and the
    // format word written, in the order of `placed` (row-major, or column-major when transposed).
    // The mask must lie within 0..7.
    static void maskCandidate(const QRSymbolLayout& layout, const std::uint8_t* placed, bool transposed,
                              int maskPattern, int formatWord, std::uint8_t* out);

private:
    void ClearModules(TByteMatrix& matrix);
    void DrawFunctionPatterns(int version, TByteMatrix& matrix);
    void DrawFindersAndSeparators(TByteMatrix& matrix);
    void DrawFinder(int left, int top, TByteMatrix& matrix);
    void DrawSeparatorRow(int left, int top, TByteMatrix& matrix);
    void DrawSeparatorColumn(int left, int top, TByteMatrix& matrix);
    void DrawDarkModule(TByteMatrix& matrix);
    void DrawAlignmentPatterns(int version, TByteMatrix& matrix);
    void DrawAlignment(int left, int top, TByteMatrix& matrix);
    void DrawTimingPatterns(TByteMatrix& matrix);
    void WriteFormatInfo(const TErrorCorrectionLevel& ecLevel, int maskPattern, TByteMatrix& matrix);
    void WriteVersionInfo(int version, TByteMatrix& matrix);
    void PlaceDataBits(const TBitArray& dataBits, int maskPattern, TByteMatrix& matrix);
    // Writes cells[rows][cols] at (left, top) row by row, stopping at the first module already set.
    template <int Rows, int Cols>
    void drawPattern(const std::uint8_t (&cells)[Rows][Cols], int left, int top, TByteMatrix& matrix);
    static bool IsUnset(int value) { return value == -1; }
    static std::unique_ptr<QRSymbolLayout> buildLayout(int version);

    bool FMatrixUtilError = false;
};
