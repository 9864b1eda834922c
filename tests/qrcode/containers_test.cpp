#include "qrcode/qrcode.h"

#include "testdata.h"

#include <gtest/gtest.h>

TEST(BitArray, AppendsMostSignificantFirstAndPacksBytes) {
    TBitArray bits;
    bits.AppendBits(5, 3);
    bits.AppendBits(0xFFFF, 0);
    EXPECT_EQ(bits.GetSize(), 3);
    EXPECT_EQ(bits.GetSizeInBytes(), 1);
    EXPECT_EQ(bytesOf(bits), std::vector<int>{0b10100000});

    bits.AppendBits(0b00001, 5); // 1 0 1 0 0 0 0 1
    TByteArray bytes(3, 0x55);
    bits.ToBytes(0, bytes, 1, 1);
    EXPECT_EQ(bytes, (TByteArray{0x55, 0xA1, 0x55}));

    bits.AppendBits(0, 24);
    bits.AppendBit(true); // bit 32: bit 0 of the second storage word
    EXPECT_EQ(bits.GetSizeInBytes(), 5);
    EXPECT_EQ(bits.storageWords(), 2);
    EXPECT_TRUE(bits.Get(32));

    // A negative reservation reserves nothing instead of gigabytes.
    EXPECT_EQ(TBitArray(-1000000).storageWords(), 0);
    EXPECT_EQ(TBitArray(33).storageWords(), 2);
}

// The word-wise appends and byte reads against bit-by-bit ones, at every alignment.
TEST(BitArray, BulkOperationsMatchSingleBits) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        TBitArray bulk;
        std::vector<bool> reference;
        for (int piece = 0; piece < 12; ++piece) {
            const std::uint32_t value = rng();
            const int numBits = int(rng() % 33);
            TBitArray other;
            other.AppendBits(value, numBits);
            if (rng() % 3 == 0)
                bulk.AppendBitArray(other);
            else
                bulk.AppendBits(value, numBits);
            for (int k = numBits - 1; k >= 0; --k)
                reference.push_back((value >> k) & 1);
        }
        ASSERT_EQ(bulk.GetSize(), int(reference.size()));
        for (std::size_t i = 0; i < reference.size(); ++i)
            ASSERT_EQ(bulk.Get(int(i)), reference[i]) << "bit " << i;
        const int offset = int(rng() % 8);
        const int numBytes = (bulk.GetSize() - offset) / 8;
        TByteArray bytes(static_cast<std::size_t>(std::max(numBytes, 0)));
        bulk.ToBytes(offset, bytes, 0, numBytes);
        for (int k = 0; k < numBytes; ++k) {
            int expected = 0;
            for (int b = 0; b < 8; ++b)
                expected = expected << 1 | int(reference[std::size_t(offset + 8 * k + b)]);
            ASSERT_EQ(bytes[std::size_t(k)], expected) << "byte " << k << " from offset " << offset;
        }
    }
}

TEST(BitArray, XorFlipsTheOtherArraysBitsWhenStorageMatches) {
    TBitArray a;
    a.AppendBits(0b110010100110001, 15);
    TBitArray mask;
    mask.AppendBits(0x5412, 15);
    a.XorOperation(mask);
    TBitArray expected;
    expected.AppendBits(0b110010100110001 ^ 0x5412, 15);
    EXPECT_EQ(bytesOf(a), bytesOf(expected));

    TBitArray longer;
    longer.AppendBits(0xFFFFFFFF, 32);
    longer.AppendBit(true);
    a.XorOperation(longer);
    EXPECT_EQ(bytesOf(a), bytesOf(expected));
}

TEST(ByteMatrix, CellsAndHash) {
    TByteMatrix matrix(3, 2);
    EXPECT_EQ(matrix.Get(2, 1), 0);
    matrix.SetInteger(2, 1, -1);
    EXPECT_EQ(matrix.Get(2, 1), -1);
    EXPECT_EQ(matrix.GetArray()[1][2], 255); // column first: (2, 1) is in row 1
    matrix.SetBoolean(1, 0, true);
    EXPECT_EQ(matrix.Get(1, 0), 1);
    EXPECT_EQ(matrix.Hash(), "BV"); // row sums 1 and 255

    TByteMatrix empty(1, 1);
    empty.Clear(255);
    EXPECT_EQ(empty.Hash(), "V");
}

TEST(QRCode, ValidityAndCellCheck) {
    EXPECT_FALSE(TQRCode::IsValidMaskPattern(-1));
    EXPECT_FALSE(TQRCode::IsValidMaskPattern(8));
    EXPECT_TRUE(TQRCode::IsValidMaskPattern(0));
    EXPECT_TRUE(TQRCode::IsValidMaskPattern(7));

    TQRCode record;
    EXPECT_FALSE(record.IsValid());
    record.SetECLevel(TErrorCorrectionLevel(1));
    record.SetMaskPattern(3);
    record.SetAll(1, 26, 19, 1, 7, 21);
    auto matrix = std::make_unique<TByteMatrix>(21, 21);
    matrix->SetInteger(0, 1, -1);
    record.SetMatrix(std::move(matrix));
    EXPECT_TRUE(record.IsValid());
    record.SetAll(1, 26, 19, 1, 6, 21); // 19 + 6 != 26
    EXPECT_FALSE(record.IsValid());

    EXPECT_EQ(record.At(1, 0), 0);
    EXPECT_FALSE(record.QRCodeError());
    EXPECT_EQ(record.At(0, 1), -1);
    EXPECT_TRUE(record.QRCodeError());
}
