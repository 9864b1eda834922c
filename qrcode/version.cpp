#include "qrcode/version.h"

namespace {

// ISO/IEC 18004 error correction characteristics: total codewords per version, and for
// L, M, Q, H the EC codewords per block and the number of blocks. The runs of each level
// follow from these: the last (total mod blocks) blocks hold one codeword more.
struct VersionRow {
    int totalCodewords;
    std::array<int, 4> ecPerBlock;
    std::array<int, 4> blocks;
};

constexpr std::array<VersionRow, 40> kVersions{{
    {26, {7, 10, 13, 17}, {1, 1, 1, 1}},        {44, {10, 16, 22, 28}, {1, 1, 1, 1}},
    {70, {15, 26, 18, 22}, {1, 1, 2, 2}},       {100, {20, 18, 26, 16}, {1, 2, 2, 4}},
    {134, {26, 24, 18, 22}, {1, 2, 4, 4}},      {172, {18, 16, 24, 28}, {2, 4, 4, 4}},
    {196, {20, 18, 18, 26}, {2, 4, 6, 5}},      {242, {24, 22, 22, 26}, {2, 4, 6, 6}},
    {292, {30, 22, 20, 24}, {2, 5, 8, 8}},      {346, {18, 26, 24, 28}, {4, 5, 8, 8}},
    {404, {20, 30, 28, 24}, {4, 5, 8, 11}},     {466, {24, 22, 26, 28}, {4, 8, 10, 11}},
    {532, {26, 22, 24, 22}, {4, 9, 12, 16}},    {581, {30, 24, 20, 24}, {4, 9, 16, 16}},
    {655, {22, 24, 30, 24}, {6, 10, 12, 18}},   {733, {24, 28, 24, 30}, {6, 10, 17, 16}},
    {815, {28, 28, 28, 28}, {6, 11, 16, 19}},   {901, {30, 26, 28, 28}, {6, 13, 18, 21}},
    {991, {28, 26, 26, 26}, {7, 14, 21, 25}},   {1085, {28, 26, 30, 28}, {8, 16, 20, 25}},
    {1156, {28, 26, 28, 30}, {8, 17, 23, 25}},  {1258, {28, 28, 30, 24}, {9, 17, 23, 34}},
    {1364, {30, 28, 30, 30}, {9, 18, 25, 30}},  {1474, {30, 28, 30, 30}, {10, 20, 27, 32}},
    {1588, {26, 28, 30, 30}, {12, 21, 29, 35}}, {1706, {28, 28, 28, 30}, {12, 23, 34, 37}},
    {1828, {30, 28, 30, 30}, {12, 25, 34, 40}}, {1921, {30, 28, 30, 30}, {13, 26, 35, 42}},
    {2051, {30, 28, 30, 30}, {14, 28, 38, 45}}, {2185, {30, 28, 30, 30}, {15, 29, 40, 48}},
    {2323, {30, 28, 30, 30}, {16, 31, 43, 51}}, {2465, {30, 28, 30, 30}, {17, 33, 45, 54}},
    {2611, {30, 28, 30, 30}, {18, 35, 48, 57}}, {2761, {30, 28, 30, 30}, {19, 37, 51, 60}},
    {2876, {30, 28, 30, 30}, {19, 38, 53, 63}}, {3034, {30, 28, 30, 30}, {20, 40, 56, 66}},
    {3196, {30, 28, 30, 30}, {21, 43, 59, 70}}, {3362, {30, 28, 30, 30}, {22, 45, 62, 74}},
    {3532, {30, 28, 30, 30}, {24, 47, 65, 77}}, {3706, {30, 28, 30, 30}, {25, 49, 68, 81}},
}};

constexpr std::array<std::array<int, 7>, 40> kAlignmentCentres{{
    {-1, -1, -1, -1, -1, -1, -1},   {6, 18, -1, -1, -1, -1, -1},    {6, 22, -1, -1, -1, -1, -1},
    {6, 26, -1, -1, -1, -1, -1},    {6, 30, -1, -1, -1, -1, -1},    {6, 34, -1, -1, -1, -1, -1},
    {6, 22, 38, -1, -1, -1, -1},    {6, 24, 42, -1, -1, -1, -1},    {6, 26, 46, -1, -1, -1, -1},
    {6, 28, 50, -1, -1, -1, -1},    {6, 30, 54, -1, -1, -1, -1},    {6, 32, 58, -1, -1, -1, -1},
    {6, 34, 62, -1, -1, -1, -1},    {6, 26, 46, 66, -1, -1, -1},    {6, 26, 48, 70, -1, -1, -1},
    {6, 26, 50, 74, -1, -1, -1},    {6, 30, 54, 78, -1, -1, -1},    {6, 30, 56, 82, -1, -1, -1},
    {6, 30, 58, 86, -1, -1, -1},    {6, 34, 62, 90, -1, -1, -1},    {6, 28, 50, 72, 94, -1, -1},
    {6, 26, 50, 74, 98, -1, -1},    {6, 30, 54, 78, 102, -1, -1},   {6, 28, 54, 80, 106, -1, -1},
    {6, 32, 58, 84, 110, -1, -1},   {6, 30, 58, 86, 114, -1, -1},   {6, 34, 62, 90, 118, -1, -1},
    {6, 26, 50, 74, 98, 122, -1},   {6, 30, 54, 78, 102, 126, -1},  {6, 26, 52, 78, 104, 130, -1},
    {6, 30, 56, 82, 108, 134, -1},  {6, 34, 60, 86, 112, 138, -1},  {6, 30, 58, 86, 114, 142, -1},
    {6, 34, 62, 90, 118, 146, -1},  {6, 30, 54, 78, 102, 126, 150}, {6, 24, 50, 76, 102, 128, 154},
    {6, 28, 54, 80, 106, 132, 158}, {6, 32, 58, 84, 110, 136, 162}, {6, 26, 54, 82, 110, 138, 166},
    {6, 30, 58, 86, 114, 142, 170},
}};

TECBlocks makeBlocks(int total, int ecPerBlock, int blocks) {
    const int shortLength = total / blocks;
    const int longBlocks = total % blocks;
    const TECB shortRun(blocks - longBlocks, shortLength - ecPerBlock);
    if (longBlocks == 0)
        return TECBlocks(ecPerBlock, shortRun);
    return TECBlocks(ecPerBlock, shortRun, TECB(longBlocks, shortLength - ecPerBlock + 1));
}

const VersionRow& row(int versionNum) {
    return kVersions[std::size_t(versionNum - 1)];
}

} // namespace

TECBlocks::TECBlocks(int ecCodewordsPerBlock, TECB ecBlocks)
    : ECCodewordsPerBlock(ecCodewordsPerBlock), ECBlocks{ecBlocks} {}

TECBlocks::TECBlocks(int ecCodewordsPerBlock, TECB ecBlocks1, TECB ecBlocks2)
    : ECCodewordsPerBlock(ecCodewordsPerBlock), ECBlocks{ecBlocks1, ecBlocks2} {}

int TECBlocks::GetNumBlocks() const {
    int total = 0;
    for (const TECB& run : ECBlocks)
        total += run.GetCount();
    return total;
}

TVersion::TVersion(int versionNumber, std::vector<int> alignmentPatternCenters, TECBlocks ecBlocks1,
                   TECBlocks ecBlocks2, TECBlocks ecBlocks3, TECBlocks ecBlocks4)
    : FVersionNumber(versionNumber),
      FAlignmentPatternCenters(std::move(alignmentPatternCenters)), FECBlocks{std::move(ecBlocks1),
                                                                              std::move(ecBlocks2),
                                                                              std::move(ecBlocks3),
                                                                              std::move(ecBlocks4)} {
    // The total is taken from the L set; every set adds up to the same number.
    ECCodewords = FECBlocks[0].GetECCodewordsPerBlock();
    TotalCodewords = 0;
    for (const TECB& run : FECBlocks[0].GetECBlocks())
        TotalCodewords += (run.GetDataCodewords() + ECCodewords) * run.GetCount();
}

std::unique_ptr<TVersion> TVersion::GetVersionForNumber(int versionNum) {
    if (versionNum < 1 || versionNum > 40)
        return nullptr;
    const VersionRow& r = row(versionNum);
    std::vector<int> centres;
    for (int c : kAlignmentCentres[std::size_t(versionNum - 1)])
        if (c >= 0)
            centres.push_back(c);
    return std::make_unique<TVersion>(versionNum, std::move(centres),
                                      makeBlocks(r.totalCodewords, r.ecPerBlock[0], r.blocks[0]),
                                      makeBlocks(r.totalCodewords, r.ecPerBlock[1], r.blocks[1]),
                                      makeBlocks(r.totalCodewords, r.ecPerBlock[2], r.blocks[2]),
                                      makeBlocks(r.totalCodewords, r.ecPerBlock[3], r.blocks[3]));
}

std::unique_ptr<TVersion> TVersion::ChooseVersion(int numInputBits, const TErrorCorrectionLevel& ecLevel) {
    return GetVersionForNumber(chooseVersionNumber(numInputBits, ecLevel));
}

const TECBlocks& TVersion::GetECBlocksForLevel(const TErrorCorrectionLevel& ecLevel) const {
    return FECBlocks[std::size_t(ecLevel.Ordinal())];
}

int TVersion::chooseVersionNumber(int numInputBits, const TErrorCorrectionLevel& ecLevel) {
    const int bytes = (numInputBits + 7) / 8;
    for (int v = 1; v <= 40; ++v)
        if (bytes <= totalCodewords(v) - totalECCodewords(v, ecLevel))
            return v;
    return 0;
}

int TVersion::totalCodewords(int versionNum) {
    return row(versionNum).totalCodewords;
}

int TVersion::numBlocks(int versionNum, const TErrorCorrectionLevel& ecLevel) {
    return row(versionNum).blocks[std::size_t(ecLevel.Ordinal())];
}

int TVersion::totalECCodewords(int versionNum, const TErrorCorrectionLevel& ecLevel) {
    const VersionRow& r = row(versionNum);
    const std::size_t level = std::size_t(ecLevel.Ordinal());
    return r.blocks[level] * r.ecPerBlock[level];
}

const std::array<std::array<int, 7>, 40>& TVersion::alignmentCentreTable() {
    return kAlignmentCentres;
}
