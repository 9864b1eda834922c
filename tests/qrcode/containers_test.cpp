#include "qrcode/bitarray.h"
#include "qrcode/bytematrix.h"
#include "qrcode/qrcode.h"

#include "testdata.h"

#include <gtest/gtest.h>

TEST(BitArray, AppendBitsWritesMostSignificantFirst) {
    TBitArray bits;
    bits.AppendBits(5, 3);
    EXPECT_EQ(bits.GetSize(), 3);
    EXPECT_EQ(bits.GetSizeInBytes(), 1);
    EXPECT_TRUE(bits.Get(0));
    EXPECT_FALSE(bits.Get(1));
    EXPECT_TRUE(bits.Get(2));

    bits.AppendBits(0xFFFF, 0);
    EXPECT_EQ(bits.GetSize(), 3);
}

TEST(BitArray, ThirtyThirdBitStartsTheSecondWord) {
    TBitArray bits;
    bits.AppendBits(0, 32);
    bits.AppendBit(true);
    EXPECT_EQ(bits.GetSize(), 33);
    EXPECT_EQ(bits.GetSizeInBytes(), 5);
    EXPECT_EQ(bits.storageWords(), 2);
    EXPECT_TRUE(bits.Get(32));
    EXPECT_FALSE(bits.Get(31));
}

TEST(BitArray, ToBytesPacksEightBitsFirstBitHighest) {
    TBitArray bits;
    for (bool b : {true, false, false, false, false, false, false, true})
        bits.AppendBit(b);
    TByteArray bytes(3, 0x55);
    bits.ToBytes(0, bytes, 1, 1);
    EXPECT_EQ(bytes, (TByteArray{0x55, 0x81, 0x55}));
    bits.ToBytes(0, bytes, 0, 0);
    EXPECT_EQ(bytes[0], 0x55);
}

// The word-wise appends and reads against bit-by-bit ones, at every alignment.
TEST(BitArray, BulkOperationsMatchSingleBits) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        TBitArray bulk;
        std::vector<bool> reference;
        for (int piece = 0; piece < 12; ++piece) {
            const std::uint32_t value = rng();
            const int numBits = int(rng() % 33);
            if (rng() % 3 == 0) {
                TBitArray other;
                other.AppendBits(value, numBits);
                bulk.AppendBitArray(other);
            } else {
                bulk.AppendBits(value, numBits);
            }
            for (int k = numBits - 1; k >= 0; --k)
                reference.push_back((value >> k) & 1);
        }
        ASSERT_EQ(bulk.GetSize(), int(reference.size()));
        for (std::size_t i = 0; i < reference.size(); ++i)
            ASSERT_EQ(bulk.Get(int(i)), reference[i]) << "bit " << i;
        const int offset = int(rng() % 8);
        const int numBytes = (bulk.GetSize() - offset) / 8;
        TByteArray bytes(std::size_t(std::max(numBytes, 0)));
        bulk.ToBytes(offset, bytes, 0, numBytes);
        for (int k = 0; k < numBytes; ++k) {
            int expected = 0;
            for (int b = 0; b < 8; ++b)
                expected = expected << 1 | int(reference[std::size_t(offset + 8 * k + b)]);
            ASSERT_EQ(bytes[std::size_t(k)], expected) << "byte " << k << " from offset " << offset;
        }
    }
}

TEST(BitArray, XorFlipsExactlyTheOtherArraysBits) {
    TBitArray a;
    a.AppendBits(0b110010100110001, 15);
    TBitArray b;
    b.AppendBits(0x5412, 15);
    a.XorOperation(b);
    TBitArray expected;
    expected.AppendBits(0b110010100110001 ^ 0x5412, 15);
    EXPECT_EQ(bytesOf(a), bytesOf(expected));
    EXPECT_EQ(a.GetSize(), 15);

    // Arrays of different storage length are left alone.
    TBitArray longer;
    longer.AppendBits(0xFFFFFFFF, 32);
    longer.AppendBits(1, 1);
    TBitArray copy = a;
    a.XorOperation(longer);
    EXPECT_EQ(bytesOf(a), bytesOf(copy));
}

TEST(BitArray, ReservingANegativeSizeReservesNothing) {
    EXPECT_EQ(TBitArray(-1000000).storageWords(), 0);
    EXPECT_EQ(TBitArray(33).storageWords(), 2);
    EXPECT_EQ(TBitArray(33).GetSize(), 0);
    EXPECT_EQ(TBitArray().storageWords(), 1);
}

TEST(ByteMatrix, CellsReadBackAsStored) {
    TByteMatrix matrix(3, 2);
    EXPECT_EQ(matrix.Width(), 3);
    EXPECT_EQ(matrix.Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(matrix.Get(x, y), 0);
    matrix.SetInteger(2, 1, -1);
    EXPECT_EQ(matrix.Get(2, 1), -1);
    EXPECT_EQ(matrix.GetArray()[1][2], 255); // column first: (2, 1) is row 1
    matrix.SetBoolean(1, 0, true);
    EXPECT_EQ(matrix.Get(1, 0), 1);
    matrix.Clear(255);
    EXPECT_EQ(matrix.Get(0, 0), -1);
}

TEST(ByteMatrix, HashHasOneLetterPerRow) {
    TByteMatrix empty(1, 1);
    empty.SetInteger(0, 0, -1);
    EXPECT_EQ(empty.Hash(), "V"); // 255 mod 26 = 21

    TByteMatrix matrix(3, 2);
    matrix.SetInteger(0, 1, 1);
    matrix.SetInteger(1, 1, 27);
    EXPECT_EQ(matrix.Hash(), "AC"); // row 1: 28 mod 26 = 2
}

TEST(QRCode, ValidOnlyWhenComplete) {
    for (int mask : {-1, 8})
        EXPECT_FALSE(TQRCode::IsValidMaskPattern(mask));
    for (int mask : {0, 7})
        EXPECT_TRUE(TQRCode::IsValidMaskPattern(mask));

    TQRCode record;
    EXPECT_FALSE(record.IsValid());
    EXPECT_EQ(record.Mode(), qmTerminator);
    EXPECT_EQ(record.Version(), -1);
    record.SetECLevel(TErrorCorrectionLevel(1));
    record.SetMaskPattern(3);
    record.SetAll(1, 26, 19, 1, 7, 21);
    record.SetMatrix(std::make_unique<TByteMatrix>(21, 21));
    EXPECT_TRUE(record.IsValid());
    record.SetAll(1, 26, 19, 1, 6, 21); // 19 + 6 != 26
    EXPECT_FALSE(record.IsValid());
}

TEST(QRCode, KeepsItsOwnLevelCopyAndFlagsEmptyCells) {
    TQRCode record;
    {
        const TErrorCorrectionLevel level(1);
        record.SetECLevel(level);
        EXPECT_NE(record.ECLevel(), &level);
    }
    EXPECT_EQ(record.ECLevel()->Bits(), 1);

    auto matrix = std::make_unique<TByteMatrix>(2, 2);
    matrix->SetInteger(1, 0, 1);
    matrix->SetInteger(0, 1, -1);
    record.SetMatrix(std::move(matrix));
    EXPECT_EQ(record.At(1, 0), 1);
    EXPECT_FALSE(record.QRCodeError());
    EXPECT_EQ(record.At(0, 1), -1);
    EXPECT_TRUE(record.QRCodeError());
}
