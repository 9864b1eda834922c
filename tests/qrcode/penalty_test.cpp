#include "qrcode/encoder.h"

#include "testdata.h"

#include <gtest/gtest.h>

namespace {

// A checkerboard has no runs, no equal blocks and no finder-like patterns.
TByteMatrix checkerboard(int n) {
    TByteMatrix m(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            m.SetInteger(x, y, (x + y) % 2);
    return m;
}

void setRow(TByteMatrix& m, int y, int x, const char* modules) {
    for (int k = 0; modules[k]; ++k)
        m.SetInteger(x + k, y, modules[k] - '0');
}

TByteMatrix transposed(const TByteMatrix& m) {
    TByteMatrix t(m.Height(), m.Width());
    for (int y = 0; y < m.Height(); ++y)
        for (int x = 0; x < m.Width(); ++x)
            t.SetInteger(y, x, m.Get(x, y));
    return t;
}

} // namespace

TEST(Penalty, RunsOfFiveOrMore) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, const char*>> rows; // row, modules from column 0
        int expected;
    };
    const Case cases[] = {
        {"seven equal", {{0, "01111111"}}, 3 + 2},
        {"two runs of five", {{0, "11111000001"}}, 3 + 3},
        {"four is free", {{0, "011110"}}, 0},
        {"a run ending a row and one starting the next are separate",
         {{0, "01010101111"}, {1, "11101010101"}},
         0},
        {"whole row", {{3, "11111111111"}}, 3 + 6},
    };
    for (const Case& c : cases) {
        TByteMatrix m = checkerboard(11);
        for (const auto& [y, modules] : c.rows)
            setRow(m, y, 0, modules);
        EXPECT_EQ(TEncoder::LineRunPenalty(m, true), c.expected) << c.what;
        EXPECT_EQ(TEncoder::LineRunPenalty(transposed(m), false), c.expected) << c.what << " (columns)";
        EXPECT_EQ(TEncoder::RunPenalty(m), c.expected) << c.what;
    }
}

TEST(Penalty, AllDarkMatrix) {
    const int n = 21;
    TByteMatrix m(n, n);
    m.Clear(1);
    EXPECT_EQ(TEncoder::RunPenalty(m), 2 * n * (3 + n - 5));
    EXPECT_EQ(TEncoder::BlockPenalty(m), 3 * (n - 1) * (n - 1));
    EXPECT_EQ(TEncoder::FinderLikePenalty(m), 0);
    EXPECT_EQ(TEncoder::BalancePenalty(m), 1);
    EXPECT_EQ(TEncoder::MaskPenalty(m), 2 * n * (3 + n - 5) + 3 * (n - 1) * (n - 1) + 1);
}

TEST(Penalty, EqualBlocksOverlap) {
    TByteMatrix m = checkerboard(11);
    for (int y = 2; y < 5; ++y)
        setRow(m, y, 2, "000");
    EXPECT_EQ(TEncoder::BlockPenalty(m), 12);
}

TEST(Penalty, FinderLikePatternsNeedFourLightModulesInside) {
    struct Case {
        const char* what;
        int n;
        const char* row;
        int expected;
    };
    const Case cases[] = {
        {"light after", 11, "10111010000", 40},
        {"dark after, matrix edge before", 11, "10111011010", 0},
        {"light on both sides counts once", 15, "000010111010000", 40},
        {"light before", 11, "00001011101", 40},
        {"too close to both edges", 11, "01010111010", 0},
        {"the light-first form does not count", 11, "01000101111", 0},
    };
    for (const Case& c : cases) {
        TByteMatrix m = checkerboard(c.n);
        setRow(m, 0, 0, c.row);
        EXPECT_EQ(TEncoder::FinderLikePenalty(m), c.expected) << c.what;
        EXPECT_EQ(TEncoder::FinderLikePenalty(transposed(m)), c.expected) << c.what << " (vertical)";
    }
}

TEST(Penalty, BalanceAddsAtMostOnePoint) {
    struct Case {
        int dark; // of 50
        int expected;
    };
    for (const Case& c :
         {Case{12, 1}, Case{13, 0}, Case{25, 0}, Case{37, 0}, Case{38, 1}, Case{0, 1}, Case{50, 1}}) {
        TByteMatrix m(10, 5);
        for (int i = 0; i < c.dark; ++i)
            m.SetInteger(i % 10, i / 10, 1);
        EXPECT_EQ(TEncoder::BalancePenalty(m), c.expected) << c.dark << " of 50 dark";
    }
}

// The one-pass penalty of the mask choice against the four rules, on random grids of
// several densities with planted finder-like patterns and runs.
TEST(Penalty, FastPenaltyMatchesTheRules) {
    std::mt19937 rng(21);
    for (int round = 0; round < 120; ++round) {
        const int n = 21 + 4 * int(rng() % 40);
        const unsigned density = 1 + rng() % 7; // dark with probability density / 8
        TByteMatrix m(n, n);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                m.SetInteger(x, y, rng() % 8 < density ? 1 : 0);
        for (int k = 0; k < 10; ++k) {
            const int x = int(rng() % unsigned(n - 11));
            const int y = int(rng() % unsigned(n - 11));
            const char* planted = k % 2 ? "00001011101" : "10111010000";
            for (int i = 0; i < 11; ++i) {
                if (rng() % 2)
                    m.SetInteger(x + i, y, planted[i] - '0');
                else
                    m.SetInteger(x, y + i, planted[i] - '0');
            }
        }
        ASSERT_EQ(TEncoder::fastMaskPenalty(m), TEncoder::MaskPenalty(m)) << "round " << round << ", n " << n;
    }
    for (int value : {0, 1}) {
        TByteMatrix uniform(177, 177);
        uniform.Clear(std::uint8_t(value));
        EXPECT_EQ(TEncoder::fastMaskPenalty(uniform), TEncoder::MaskPenalty(uniform));
    }
}
