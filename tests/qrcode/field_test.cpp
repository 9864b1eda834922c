#include "qrcode/genericgf.h"
#include "qrcode/version.h"

#include "testdata.h"

#include <gtest/gtest.h>

#include <set>

TEST(GenericGF, QRFieldArithmetic) {
    const auto field = TGenericGF::CreateQRCodeField256();
    struct Case {
        const char* what;
        int actual;
        int expected;
    };
    const Case cases[] = {
        {"Exp(0)", field->Exp(0), 1},
        {"Exp(7)", field->Exp(7), 128},
        {"Exp(8)", field->Exp(8), 0x1D},
        {"Exp(255)", field->Exp(255), 1},
        {"Multiply(0x80, 2)", field->Multiply(0x80, 2), 0x1D},
        {"Multiply(0x53, 0)", field->Multiply(0x53, 0), 0},
        {"Multiply(0, 0x53)", field->Multiply(0, 0x53), 0},
        {"Inverse(1)", field->Inverse(1), 1},
        {"Inverse(2)", field->Inverse(2), 0x8E},
        {"Inverse(0)", field->Inverse(0), 0},
        {"AddOrSubtract(0x53, 0xCA)", TGenericGF::AddOrSubtract(0x53, 0xCA), 0x99},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.what;
    for (int a = 1; a < 256; ++a)
        ASSERT_EQ(field->Multiply(a, field->Inverse(a)), 1) << a;
}

TEST(GenericGFPoly, LeadingZerosAreDropped) {
    TGenericGF field(0x11D, 256, 0);
    TGenericGFPoly* p = TGenericGFPoly::Create(&field, {0, 0, 5, 1});
    EXPECT_EQ(p->GetDegree(), 1);
    EXPECT_EQ(p->Coefficients(), (TIntegerArray{5, 1}));
    EXPECT_EQ(p->GetCoefficient(1), 5);
    TGenericGFPoly* zero = TGenericGFPoly::Create(&field, {0, 0, 0});
    EXPECT_EQ(zero->Coefficients(), TIntegerArray{0});
    EXPECT_TRUE(zero->IsZero());
}

TEST(GenericGFPoly, OperationsAcrossFieldsOrByZeroGiveNothing) {
    TGenericGF field(0x11D, 256, 0);
    TGenericGF other(0x11D, 256, 0);
    TGenericGFPoly* p = TGenericGFPoly::Create(&field, {3, 1});
    TGenericGFPoly* q = TGenericGFPoly::Create(&other, {3, 1});
    EXPECT_EQ(p->AddOrSubtract(q), nullptr);
    EXPECT_EQ(p->Multiply(q), nullptr);
    EXPECT_TRUE(p->Divide(q).empty());
    EXPECT_TRUE(p->Divide(field.GetZero()).empty());
    EXPECT_EQ(p->MultiplyByMonomial(-1, 1), nullptr);
    EXPECT_EQ(field.BuildMonomial(-1, 1), nullptr);
    EXPECT_EQ(field.BuildMonomial(3, 0), field.GetZero());
    EXPECT_EQ(p->AddOrSubtract(field.GetZero()), p);
}

TEST(GenericGFPoly, DivisionReassemblesTheDividend) {
    TGenericGF field(0x11D, 256, 0);
    std::mt19937 rng(3);
    for (int round = 0; round < 20; ++round) {
        TIntegerArray a(12), b(5);
        for (int& c : a)
            c = int(rng() % 256);
        for (int& c : b)
            c = int(rng() % 256);
        b[0] = 1 + int(rng() % 255);
        TGenericGFPoly* dividend = TGenericGFPoly::Create(&field, a);
        TGenericGFPoly* divisor = TGenericGFPoly::Create(&field, b);
        const TGenericGFPolyArray result = dividend->Divide(divisor);
        ASSERT_EQ(result.size(), 2u);
        EXPECT_LT(result[1]->GetDegree(), divisor->GetDegree());
        TGenericGFPoly* back = result[0]->Multiply(divisor)->AddOrSubtract(result[1]);
        EXPECT_EQ(back->Coefficients(), dividend->Coefficients());
    }
}

TEST(GenericGF, PolynomialsBelongToTheirField) {
    TGenericGF field(0x11D, 256, 0);
    TReedSolomonEncoder encoder(&field);
    const int before = field.polynomialCount();
    TIntegerArray block(30, 7);
    encoder.Encode(block, 10);
    EXPECT_GT(field.polynomialCount(), before); // intermediate results stay in the field's arena
}

TEST(ReedSolomon, GeneratorOfDegreeSeven) {
    const auto field = TGenericGF::CreateQRCodeField256();
    TReedSolomonEncoder encoder(field.get());
    EXPECT_EQ(encoder.BuildGenerator(7)->Coefficients(), (TIntegerArray{1, 127, 122, 154, 164, 11, 68, 117}));
    EXPECT_EQ(encoder.BuildGenerator(7), encoder.BuildGenerator(7)); // cached
}

TEST(ReedSolomon, EncodesTheVersion1MExample) {
    const auto field = TGenericGF::CreateQRCodeField256();
    TReedSolomonEncoder encoder(field.get());
    TIntegerArray block = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11,
                           0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11};
    block.resize(26, 0);
    encoder.Encode(block, 10);
    const TIntegerArray ec(block.begin() + 16, block.end());
    EXPECT_EQ(ec, (TIntegerArray{0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55}));
}

TEST(ReedSolomon, ZeroDataGivesZeroCodewordsAndEmptyCallsChangeNothing) {
    const auto field = TGenericGF::CreateQRCodeField256();
    TReedSolomonEncoder encoder(field.get());
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
// version tables (all versions, all four levels), and past them.
TEST(ReedSolomon, FastEncoderMatchesTheGeneralOne) {
    std::set<std::pair<int, int>> shapes = {{1, 7}, {5, 31}, {0, 10}};
    for (int v = 1; v <= 40; ++v) {
        const auto version = TVersion::GetVersionForNumber(v);
        for (const TECBlocks& blocks : version->ECBlocks())
            for (const TECB& run : blocks.GetECBlocks())
                shapes.insert({run.GetDataCodewords(), blocks.GetECCodewordsPerBlock()});
    }
    for (int ec : {10, 13, 15, 16, 17, 18, 20, 22, 24, 26, 28, 30})
        shapes.insert({40, ec});
    std::mt19937 rng(11);
    for (const auto& [numData, numEc] : shapes) {
        const auto data = randomBytes(rng, numData);
        TIntegerArray block(data.begin(), data.end());
        block.resize(std::size_t(numData + numEc), 0);
        const auto field = TGenericGF::CreateQRCodeField256();
        TReedSolomonEncoder(field.get()).Encode(block, numEc);
        std::vector<std::uint8_t> fast(static_cast<std::size_t>(numEc));
        qrReedSolomon(data.data(), numData, fast.data(), numEc);
        for (int i = 0; i < numEc; ++i)
            ASSERT_EQ(fast[std::size_t(i)], block[std::size_t(numData + i)])
                << numData << "+" << numEc << " at " << i;
    }
}
