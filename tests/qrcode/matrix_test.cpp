#include "qrcode/maskutil.h"
#include "qrcode/matrixutil.h"

#include "testdata.h"

#include <gtest/gtest.h>

namespace {

const TErrorCorrectionLevel kLevelL(1);

int wordOf(const TBitArray& bits) {
    int word = 0;
    for (int i = 0; i < bits.GetSize(); ++i)
        word = word << 1 | int(bits.Get(i));
    return word;
}

TByteMatrix build(int version, int mask, const TBitArray& bits = TBitArray()) {
    const int n = 17 + 4 * version;
    TByteMatrix matrix(n, n);
    TMatrixUtil util;
    util.BuildMatrix(bits, kLevelL, version, mask, matrix);
    EXPECT_FALSE(util.MatrixUtilError());
    return matrix;
}

// True when the cells at (left, top) repeat `pattern` (rows of '0'/'1').
bool hasPattern(const TByteMatrix& m, int left, int top, const std::vector<const char*>& pattern) {
    for (std::size_t r = 0; r < pattern.size(); ++r)
        for (std::size_t c = 0; pattern[r][c]; ++c)
            if (m.Get(left + int(c), top + int(r)) != pattern[r][c] - '0')
                return false;
    return true;
}

const std::vector<const char*> kFinder = {"1111111", "1000001", "1011101", "1011101",
                                          "1011101", "1000001", "1111111"};
const std::vector<const char*> kAlignment = {"11111", "10001", "10101", "10001", "11111"};

} // namespace

TEST(MatrixUtil, FormatInformationOfLevelL) {
    const int expected[8] = {0x77C4, 0x72F3, 0x7DAA, 0x789D, 0x662F, 0x6318, 0x6C41, 0x6976};
    for (int mask = 0; mask < 8; ++mask) {
        TMatrixUtil util;
        TBitArray bits;
        util.FormatInfoBits(kLevelL, mask, bits);
        EXPECT_EQ(bits.GetSize(), 15);
        EXPECT_EQ(wordOf(bits), expected[mask]) << "mask " << mask;
        EXPECT_EQ(TMatrixUtil::formatWord(kLevelL, mask), expected[mask]);
    }
    TMatrixUtil util;
    TBitArray none;
    util.FormatInfoBits(kLevelL, 8, none);
    EXPECT_EQ(none.GetSize(), 0);
    EXPECT_FALSE(util.MatrixUtilError());

    // 0x77C4: bit 0 (light) at (8, 0), bit 14 (dark) at (0, 8), and the copies.
    const TByteMatrix m = build(1, 0);
    EXPECT_EQ(m.Get(8, 0), 0);
    EXPECT_EQ(m.Get(0, 8), 1);
    EXPECT_EQ(m.Get(20, 8), 0);
    EXPECT_EQ(m.Get(8, 20), 1);
}

TEST(MatrixUtil, VersionInformation) {
    TMatrixUtil util;
    for (auto [version, expected] : {std::pair{7, 0x07C94}, std::pair{40, 0x28C69}}) {
        TBitArray bits;
        util.VersionInfoBits(version, bits);
        EXPECT_EQ(bits.GetSize(), 18);
        EXPECT_EQ(wordOf(bits), expected) << "version " << version;
    }
    // Both blocks of version 7: bit k at (k div 3, N - 11 + k mod 3) and transposed.
    const TByteMatrix m = build(7, 2);
    const int n = 45;
    int below = 0;
    int beside = 0;
    for (int k = 17; k >= 0; --k) {
        below = below << 1 | m.Get(k / 3, n - 11 + k % 3);
        beside = beside << 1 | m.Get(n - 11 + k % 3, k / 3);
    }
    EXPECT_EQ(below, 0x07C94);
    EXPECT_EQ(beside, 0x07C94);
}

TEST(MatrixUtil, FunctionPatternsOfVersion1) {
    const TByteMatrix m = build(1, 0);
    EXPECT_TRUE(hasPattern(m, 0, 0, kFinder));
    EXPECT_TRUE(hasPattern(m, 14, 0, kFinder));
    EXPECT_TRUE(hasPattern(m, 0, 14, kFinder));
    EXPECT_TRUE(hasPattern(m, 0, 7, {"00000000"}));
    EXPECT_TRUE(hasPattern(m, 13, 7, {"00000000"}));
    EXPECT_TRUE(hasPattern(m, 7, 14, {"0", "0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(m.Get(8, 13), 1); // dark module
    EXPECT_TRUE(hasPattern(m, 8, 6, {"10101"}));
    EXPECT_TRUE(hasPattern(m, 6, 8, {"1", "0", "1", "0", "1"}));
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x)
            ASSERT_TRUE(m.Get(x, y) == 0 || m.Get(x, y) == 1) << x << "," << y;
}

TEST(MatrixUtil, AlignmentPatterns) {
    const TByteMatrix v2 = build(2, 0);
    EXPECT_TRUE(hasPattern(v2, 16, 16, kAlignment));

    // Version 7: centres from 6, 22, 38 except the three finder corners; two lie on the timing lines.
    const TByteMatrix v7 = build(7, 0);
    for (auto [x, y] : {std::pair{22, 6}, {6, 22}, {22, 22}, {38, 22}, {22, 38}, {38, 38}})
        EXPECT_TRUE(hasPattern(v7, x - 2, y - 2, kAlignment)) << x << "," << y;
    // The timing row runs through the pattern at (22, 6) in the same phase.
    EXPECT_TRUE(hasPattern(v7, 8, 6, {"10101010101010101010101010101"}));
}

// The modules left for data: 8 per codeword plus the standard's remainder bits.
TEST(MatrixUtil, DataModuleCounts) {
    const auto remainderBits = [](int v) {
        if (v >= 2 && v <= 6)
            return 7;
        if ((v >= 14 && v <= 20) || (v >= 28 && v <= 34))
            return 3;
        if (v >= 21 && v <= 27)
            return 4;
        return 0;
    };
    EXPECT_EQ(TMatrixUtil::layoutFor(1).dataOrder.size(), 208u);
    EXPECT_EQ(TMatrixUtil::layoutFor(2).dataOrder.size(), 359u);
    for (int v = 1; v <= 40; ++v)
        EXPECT_EQ(int(TMatrixUtil::layoutFor(v).dataOrder.size()),
                  8 * TVersion::totalCodewords(v) + remainderBits(v))
            << "version " << v;
}

TEST(MatrixUtil, DataPlacementOrder) {
    const QRSymbolLayout& layout = TMatrixUtil::layoutFor(1);
    const int n = 21;
    const std::vector<int> first(layout.dataOrder.begin(), layout.dataOrder.begin() + 4);
    EXPECT_EQ(first, (std::vector<int>{20 * n + 20, 20 * n + 19, 19 * n + 20, 19 * n + 19}));
    // After the column pair (8, 7) the walk skips the timing column and continues downwards
    // with the pair (5, 4), from its first free module below the format information.
    std::size_t k = 0;
    while (layout.dataOrder[k] % n != 8 && layout.dataOrder[k] % n != 7)
        ++k;
    while (layout.dataOrder[k] % n == 8 || layout.dataOrder[k] % n == 7)
        ++k;
    EXPECT_EQ(layout.dataOrder[k], 9 * n + 5);

    // The same through a real build; mask 0 inverts the modules where x + y is even.
    TBitArray bits;
    bits.AppendBits(0b1100, 4);
    const TByteMatrix m = build(1, 0, bits);
    EXPECT_EQ(m.Get(20, 20), 0);
    EXPECT_EQ(m.Get(19, 20), 1);
    EXPECT_EQ(m.Get(20, 19), 0);
    EXPECT_EQ(m.Get(19, 19), 1);
}

TEST(MatrixUtil, ShortAndLongBitSequences) {
    std::mt19937 rng(5);
    const auto codewords = randomBytes(rng, 26);
    TBitArray full = bitsOf(codewords);
    TBitArray prefix;
    for (int i = 0; i < 10; ++i)
        prefix.AppendBit(full.Get(i));
    auto padded = codewords;
    std::fill(padded.begin(), padded.end(), 0);
    padded[0] = codewords[0];
    padded[1] = std::uint8_t(codewords[1] & 0xC0);
    EXPECT_EQ(cellsOf(build(1, 3, prefix)), cellsOf(build(1, 3, bitsOf(padded))));

    TBitArray tooLong = full;
    tooLong.AppendBit(true);
    TByteMatrix matrix(21, 21);
    TMatrixUtil util;
    util.BuildMatrix(tooLong, kLevelL, 1, 3, matrix);
    EXPECT_TRUE(util.MatrixUtilError());
}

TEST(MatrixUtil, RebuildingIntoTheSameMatrixGivesTheSameResult) {
    std::mt19937 rng(9);
    const TBitArray a = bitsOf(randomBytes(rng, 44));
    const TBitArray b = bitsOf(randomBytes(rng, 44));
    TByteMatrix reused(25, 25);
    TMatrixUtil().BuildMatrix(a, kLevelL, 2, 5, reused);
    TMatrixUtil().BuildMatrix(b, kLevelL, 2, 1, reused);
    EXPECT_EQ(cellsOf(reused), cellsOf(build(2, 1, b)));
}

// The eight candidates made from the cached layout equal full builds, in both cell orders.
TEST(MatrixUtil, MaskCandidatesEqualFullBuilds) {
    std::mt19937 rng(13);
    for (int v = 1; v <= 40; ++v) {
        const QRSymbolLayout& layout = TMatrixUtil::layoutFor(v);
        const int n = layout.dimension;
        const auto codewords = randomBytes(rng, TVersion::totalCodewords(v));
        std::vector<std::uint8_t> placed(std::size_t(n * n)), placedT(placed.size());
        std::vector<std::uint8_t> candidate(placed.size()), candidateT(placed.size());
        TMatrixUtil::placeCodewords(layout, codewords, placed.data(), placedT.data());
        for (int mask = 0; mask < 8; ++mask) {
            const TByteMatrix full = build(v, mask, bitsOf(codewords));
            const int word = TMatrixUtil::formatWord(kLevelL, mask);
            TMatrixUtil::maskCandidate(layout, placed.data(), false, mask, word, candidate.data());
            TMatrixUtil::maskCandidate(layout, placedT.data(), true, mask, word, candidateT.data());
            ASSERT_EQ(candidate, cellsOf(full)) << "version " << v << " mask " << mask;
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x)
                    ASSERT_EQ(candidateT[std::size_t(x * n + y)], full.Get(x, y));
        }
    }
}

TEST(MaskUtil, MaskConditions) {
    for (int mask = 0; mask < 8; ++mask)
        EXPECT_TRUE(TMaskUtil::GetDataMaskBit(mask, 0, 0)) << mask;
    struct Case {
        int mask, x, y;
        bool inverted;
    };
    const Case cases[] = {{1, 5, 2, true},  {1, 2, 5, false}, {2, 3, 1, true},  {2, 1, 3, false},
                          {8, 1, 1, true},  {-1, 1, 1, true}, {4, 3, 2, true},  {4, 2, 3, false},
                          {0, 1, 0, false}, {3, 1, 2, true},  {5, 2, 3, true},  {5, 1, 1, false},
                          {6, 1, 1, true},  {6, 1, 5, false}, {7, 1, 2, false}, {7, 1, 1, false},
                          {7, 1, 3, true}};
    for (const Case& c : cases)
        EXPECT_EQ(TMaskUtil::GetDataMaskBit(c.mask, c.x, c.y), c.inverted)
            << "mask " << c.mask << " at " << c.x << "," << c.y;
}
