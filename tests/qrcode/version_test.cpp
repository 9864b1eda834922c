#include "qrcode/version.h"

#include <gtest/gtest.h>

TEST(Version, LookupsOutsideOneToFortyGiveNothing) {
    for (int v : {0, 41, -1})
        EXPECT_EQ(TVersion::GetVersionForNumber(v), nullptr) << v;
    const auto first = TVersion::GetVersionForNumber(1);
    EXPECT_EQ(first->GetDimensionForVersion(), 21);
    EXPECT_TRUE(first->AlignmentPatternCenters().empty());
    EXPECT_EQ(first->GetTotalCodewords(), 26);
    const auto last = TVersion::GetVersionForNumber(40);
    EXPECT_EQ(last->GetDimensionForVersion(), 177);
    EXPECT_EQ(last->GetTotalCodewords(), 3706);
    EXPECT_NE(TVersion::GetVersionForNumber(1), first); // a new object per lookup
}

struct Run {
    int count;
    int dataCodewords;
};
struct LevelRow {
    int ecPerBlock;
    std::vector<Run> runs;
};
struct VersionRow {
    int version;
    std::vector<int> centres;
    LevelRow levels[4]; // L, M, Q, H
    int total;
};

// Rows of the standard's error correction characteristics table.
TEST(Version, BlockStructureMatchesTheStandard) {
    const VersionRow rows[] = {
        {1, {}, {{7, {{1, 19}}}, {10, {{1, 16}}}, {13, {{1, 13}}}, {17, {{1, 9}}}}, 26},
        {2, {6, 18}, {{10, {{1, 34}}}, {16, {{1, 28}}}, {22, {{1, 22}}}, {28, {{1, 16}}}}, 44},
        {5,
         {6, 30},
         {{26, {{1, 108}}}, {24, {{2, 43}}}, {18, {{2, 15}, {2, 16}}}, {22, {{2, 11}, {2, 12}}}},
         134},
        {7,
         {6, 22, 38},
         {{20, {{2, 78}}}, {18, {{4, 31}}}, {18, {{2, 14}, {4, 15}}}, {26, {{4, 13}, {1, 14}}}},
         196},
        {40,
         {6, 30, 58, 86, 114, 142, 170},
         {{30, {{19, 118}, {6, 119}}},
          {28, {{18, 47}, {31, 48}}},
          {30, {{34, 24}, {34, 25}}},
          {30, {{20, 15}, {61, 16}}}},
         3706},
    };
    for (const VersionRow& row : rows) {
        SCOPED_TRACE(row.version);
        const auto version = TVersion::GetVersionForNumber(row.version);
        EXPECT_EQ(version->VersionNumber(), row.version);
        EXPECT_EQ(version->AlignmentPatternCenters(), row.centres);
        EXPECT_EQ(version->GetTotalCodewords(), row.total);
        for (int level = 0; level < 4; ++level) {
            const TECBlocks& blocks = version->ECBlocks()[std::size_t(level)];
            EXPECT_EQ(blocks.GetECCodewordsPerBlock(), row.levels[level].ecPerBlock);
            const auto& runs = blocks.GetECBlocks();
            ASSERT_EQ(runs.size(), row.levels[level].runs.size()) << "level " << level;
            for (std::size_t r = 0; r < runs.size(); ++r) {
                EXPECT_EQ(runs[r].GetCount(), row.levels[level].runs[r].count);
                EXPECT_EQ(runs[r].GetDataCodewords(), row.levels[level].runs[r].dataCodewords);
            }
        }
    }
    const auto version5 = TVersion::GetVersionForNumber(5);
    const TECBlocks& q5 = version5->ECBlocks()[2];
    EXPECT_EQ(q5.GetNumBlocks(), 4);
    EXPECT_EQ(q5.GetTotalECCodewords(), 72);
}

TEST(Version, EveryLevelAddsUpToTheTotal) {
    for (int v = 1; v <= 40; ++v) {
        const auto version = TVersion::GetVersionForNumber(v);
        EXPECT_EQ(version->GetDimensionForVersion(), 17 + 4 * v);
        for (const TECBlocks& blocks : version->ECBlocks()) {
            int sum = 0;
            int previousData = 0;
            for (const TECB& run : blocks.GetECBlocks()) {
                sum += run.GetCount() * (run.GetDataCodewords() + blocks.GetECCodewordsPerBlock());
                EXPECT_GT(run.GetDataCodewords(), previousData) << "shorter blocks come first";
                previousData = run.GetDataCodewords();
            }
            EXPECT_EQ(sum, version->GetTotalCodewords()) << "version " << v;
        }
        // The allocation-free lookups read the same table.
        const TErrorCorrectionLevel level(1);
        EXPECT_EQ(TVersion::totalCodewords(v), version->GetTotalCodewords());
        EXPECT_EQ(TVersion::numBlocks(v, level), version->GetECBlocksForLevel(level).GetNumBlocks());
        EXPECT_EQ(TVersion::totalECCodewords(v, level),
                  version->GetECBlocksForLevel(level).GetTotalECCodewords());
    }
}

TEST(Version, EveryLevelObjectSelectsTheLBlocks) {
    const auto version = TVersion::GetVersionForNumber(7);
    for (int bits : {0, 1, 2, 3})
        EXPECT_EQ(&version->GetECBlocksForLevel(TErrorCorrectionLevel(bits)), &version->ECBlocks()[0])
            << bits;
}

TEST(Version, ChooseVersionTakesTheSmallestThatHoldsTheBits) {
    const TErrorCorrectionLevel level(1);
    struct Case {
        int bits;
        int version; // 0: none
    };
    const Case cases[] = {{0, 1}, {152, 1}, {153, 2}, {2956 * 8, 40}, {2956 * 8 + 1, 0}};
    for (const Case& c : cases) {
        const auto chosen = TVersion::ChooseVersion(c.bits, level);
        EXPECT_EQ(chosen ? chosen->VersionNumber() : 0, c.version) << c.bits << " bits";
    }
}
