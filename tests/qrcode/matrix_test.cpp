#include "qrcode/bytes16.h"
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

} // namespace

TEST(MatrixUtil, FormatAndVersionInformation) {
    const int expected[8] = {0x77C4, 0x72F3, 0x7DAA, 0x789D, 0x662F, 0x6318, 0x6C41, 0x6976};
    for (int mask = 0; mask < 8; ++mask) {
        TBitArray bits;
        TMatrixUtil().FormatInfoBits(kLevelL, mask, bits);
        EXPECT_EQ(bits.GetSize(), 15);
        EXPECT_EQ(wordOf(bits), expected[mask]) << "mask " << mask;
    }
    // 0x77C4 under mask 0: bit 0 (light) at (8, 0), bit 14 (dark) at (0, 8), and their copies.
    const TByteMatrix v1 = build(1, 0);
    EXPECT_EQ(v1.Get(8, 0), 0);
    EXPECT_EQ(v1.Get(0, 8), 1);
    EXPECT_EQ(v1.Get(20, 8), 0);
    EXPECT_EQ(v1.Get(8, 20), 1);

    for (auto [version, word] : {std::pair{7, 0x07C94}, std::pair{40, 0x28C69}}) {
        TBitArray bits;
        TMatrixUtil().VersionInfoBits(version, bits);
        EXPECT_EQ(wordOf(bits), word) << "version " << version;
        // Both blocks: bit k at (k div 3, N - 11 + k mod 3) and transposed.
        const TByteMatrix m = build(version, 2);
        const int n = m.Width();
        int below = 0;
        int beside = 0;
        for (int k = 17; k >= 0; --k) {
            below = below << 1 | m.Get(k / 3, n - 11 + k % 3);
            beside = beside << 1 | m.Get(n - 11 + k % 3, k / 3);
        }
        EXPECT_EQ(below, word);
        EXPECT_EQ(beside, word);
    }
}

// The modules left for data: 8 per codeword plus the standard's remainder bits.
TEST(MatrixUtil, DataModuleCountsAndOrder) {
    const auto remainderBits = [](int v) {
        if (v >= 2 && v <= 6)
            return 7;
        if ((v >= 14 && v <= 20) || (v >= 28 && v <= 34))
            return 3;
        return v >= 21 && v <= 27 ? 4 : 0;
    };
    EXPECT_EQ(TMatrixUtil::layoutFor(1).dataOrder.size(), 208u);
    EXPECT_EQ(TMatrixUtil::layoutFor(2).dataOrder.size(), 359u);
    for (int v = 1; v <= 40; ++v)
        EXPECT_EQ(int(TMatrixUtil::layoutFor(v).dataOrder.size()),
                  8 * TVersion::totalCodewords(v) + remainderBits(v))
            << "version " << v;

    const std::vector<std::uint16_t>& order = TMatrixUtil::layoutFor(1).dataOrder;
    const int n = 21;
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 4),
              (std::vector<int>{20 * n + 20, 20 * n + 19, 19 * n + 20, 19 * n + 19}));
    // After the column pair (8, 7) the walk skips the timing column and goes down the pair
    // (5, 4) from its first free module below the format information.
    auto k = std::find_if(order.begin(), order.end(), [&](int i) { return i % n == 7; });
    k = std::find_if(k, order.end(), [&](int i) { return i % n < 7; });
    EXPECT_EQ(*k, 9 * n + 5);
}

TEST(MatrixUtil, ShortAndLongBitSequences) {
    std::mt19937 rng(5);
    auto codewords = randomBytes(rng, 26);
    TBitArray prefix;
    prefix.AppendBits(codewords[0], 8);
    prefix.AppendBits(codewords[1] >> 6, 2);
    // Missing bits are 0 before masking, and that is no error.
    std::fill(codewords.begin() + 2, codewords.end(), 0);
    codewords[1] &= 0xC0;
    EXPECT_EQ(cellsOf(build(1, 3, prefix)), cellsOf(build(1, 3, bitsOf(codewords))));

    TBitArray tooLong = bitsOf(codewords);
    tooLong.AppendBit(true);
    TByteMatrix matrix(21, 21);
    TMatrixUtil util;
    util.BuildMatrix(tooLong, kLevelL, 1, 3, matrix);
    EXPECT_TRUE(util.MatrixUtilError());
}

// The eight candidates made from the cached layout equal full builds (into one reused
// matrix), in both cell orders.
TEST(MatrixUtil, MaskCandidatesEqualFullBuilds) {
    std::mt19937 rng(13);
    for (int v = 1; v <= 40; ++v) {
        const QRSymbolLayout& layout = TMatrixUtil::layoutFor(v);
        const int n = layout.dimension;
        const auto codewords = randomBytes(rng, TVersion::totalCodewords(v));
        std::vector<std::uint8_t> placed(std::size_t(n * n + kCellSlack)), placedT(placed.size());
        std::vector<std::uint8_t> candidate(placed.size()), candidateT(placed.size());
        TMatrixUtil::placeCodewords(layout, codewords, placed.data(), placedT.data());
        TByteMatrix full(n, n);
        for (int mask = 0; mask < 8; ++mask) {
            TMatrixUtil().BuildMatrix(bitsOf(codewords), kLevelL, v, mask, full);
            const int word = TMatrixUtil::formatWord(kLevelL, mask);
            TMatrixUtil::maskCandidate(layout, placed.data(), false, mask, word, candidate.data());
            TMatrixUtil::maskCandidate(layout, placedT.data(), true, mask, word, candidateT.data());
            ASSERT_EQ(std::vector<std::uint8_t>(candidate.begin(), candidate.begin() + n * n), cellsOf(full))
                << "version " << v << " mask " << mask;
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
                          {6, 1, 1, true},  {6, 1, 5, false}, {7, 1, 2, false}, {7, 1, 3, true}};
    for (const Case& c : cases)
        EXPECT_EQ(TMaskUtil::GetDataMaskBit(c.mask, c.x, c.y), c.inverted)
            << "mask " << c.mask << " at " << c.x << "," << c.y;
}
