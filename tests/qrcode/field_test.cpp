#include "qrcode/genericgf.h"
#include "qrcode/version.h"

#include "testdata.h"

#include <gtest/gtest.h>

#include <set>

TEST(GenericGF, QRFieldArithmetic) {
    const auto field = TGenericGF::CreateQRCodeField256();
    const std::pair<int, int> cases[] = {
        {field->Exp(0), 1},
        {field->Exp(7), 128},
        {field->Exp(8), 0x1D},
        {field->Exp(255), 1},
        {field->Multiply(0x80, 2), 0x1D},
        {field->Multiply(0x53, 0), 0},
        {field->Inverse(1), 1},
        {field->Inverse(2), 0x8E},
        {field->Inverse(0), 0},
    };
    for (const auto& [actual, expected] : cases)
        EXPECT_EQ(actual, expected);
    for (int a = 1; a < 256; ++a)
        ASSERT_EQ(field->Multiply(a, field->Inverse(a)), 1) << a;

    TGenericGFPoly* p = TGenericGFPoly::Create(field.get(), {0, 0, 5, 1});
    EXPECT_EQ(p->GetDegree(), 1);
    EXPECT_EQ(p->Coefficients(), (TIntegerArray{5, 1}));
    EXPECT_EQ(TGenericGFPoly::Create(field.get(), {0, 0, 0})->Coefficients(), TIntegerArray{0});
    EXPECT_TRUE(p->Divide(field->GetZero()).empty());
}

TEST(ReedSolomon, WorkedValues) {
    const auto field = TGenericGF::CreateQRCodeField256();
    TReedSolomonEncoder encoder(field.get());
    EXPECT_EQ(encoder.BuildGenerator(7)->Coefficients(), (TIntegerArray{1, 127, 122, 154, 164, 11, 68, 117}));

    // The version 1-M example of ISO/IEC 18004.
    TIntegerArray block = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11,
                           0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11};
    block.resize(26, 0);
    encoder.Encode(block, 10);
    EXPECT_EQ(TIntegerArray(block.begin() + 16, block.end()),
              (TIntegerArray{0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55}));

    TIntegerArray zeros(20, 0);
    zeros[15] = 9; // EC entries are overwritten
    encoder.Encode(zeros, 7);
    EXPECT_EQ(zeros, TIntegerArray(20, 0));

    TIntegerArray unchanged = {1, 2, 3};
    encoder.Encode(unchanged, 0);
    encoder.Encode(unchanged, 3);
    EXPECT_EQ(unchanged, (TIntegerArray{1, 2, 3}));
}

// The cached tables give the codewords of the general encoder for every block shape of the
// version tables (all versions, all four levels) and past them.
TEST(ReedSolomon, FastEncoderMatchesTheGeneralOne) {
    std::set<std::pair<int, int>> shapes = {{0, 10}, {5, 31}, {40, 68}};
    for (int v = 1; v <= 40; ++v) {
        const auto version = TVersion::GetVersionForNumber(v);
        for (const TECBlocks& blocks : version->ECBlocks())
            for (const TECB& run : blocks.GetECBlocks())
                shapes.insert({run.GetDataCodewords(), blocks.GetECCodewordsPerBlock()});
    }
    std::mt19937 rng(11);
    for (const auto& [numData, numEc] : shapes) {
        const auto data = randomBytes(rng, numData);
        TIntegerArray block(data.begin(), data.end());
        block.resize(std::size_t(numData + numEc), 0);
        const auto field = TGenericGF::CreateQRCodeField256();
        TReedSolomonEncoder(field.get()).Encode(block, numEc);
        std::vector<std::uint8_t> fast(static_cast<std::size_t>(numEc));
        qrReedSolomon(data.data(), numData, fast.data(), numEc);
        ASSERT_EQ(std::vector<int>(fast.begin(), fast.end()),
                  std::vector<int>(block.begin() + numData, block.end()))
            << numData << " + " << numEc;
    }
}
