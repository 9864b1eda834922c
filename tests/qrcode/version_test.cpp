#include "qrcode/version.h"

#include <gtest/gtest.h>

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
        EXPECT_EQ(version->AlignmentPatternCenters(), row.centres);
        EXPECT_EQ(version->GetTotalCodewords(), row.total);
        EXPECT_EQ(version->GetDimensionForVersion(), 17 + 4 * row.version);
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
    EXPECT_EQ(version5->ECBlocks()[2].GetNumBlocks(), 4);
    EXPECT_EQ(version5->ECBlocks()[2].GetTotalECCodewords(), 72);
    for (int bits : {0, 1, 2, 3}) // every level object selects the L set
        EXPECT_EQ(&version5->GetECBlocksForLevel(TErrorCorrectionLevel(bits)), &version5->ECBlocks()[0]);
    for (int v : {0, 41, -1})
        EXPECT_EQ(TVersion::GetVersionForNumber(v), nullptr) << v;
}
