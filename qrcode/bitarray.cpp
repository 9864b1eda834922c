#include "qrcode/bitarray.h"

#include <array>

namespace {

constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
    std::array<std::uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        int r = 0;
        for (int k = 0; k < 8; ++k)
            r |= ((b >> k) & 1) << (7 - k);
        table[b] = std::uint8_t(r);
    }
    return table;
}();

std::uint32_t reverse32(std::uint32_t v) {
    return std::uint32_t(kReversedBytes[v & 0xFF]) << 24 |
           std::uint32_t(kReversedBytes[(v >> 8) & 0xFF]) << 16 |
           std::uint32_t(kReversedBytes[(v >> 16) & 0xFF]) << 8 | kReversedBytes[v >> 24];
}

} // namespace

TBitArray::TBitArray() : Bits(1, 0u) {}

TBitArray::TBitArray(int size) {
    // A negative size reserves nothing rather than a huge amount.
    if (size > 0)
        Bits.assign((std::size_t(size) + 31) / 32, 0u);
}

void TBitArray::ensureCapacity(int size) {
    const std::size_t words = (std::size_t(size) + 31) / 32;
    if (Bits.size() < words)
        Bits.resize(words, 0u); // std::vector grows its capacity geometrically
}

void TBitArray::appendRaw(std::uint32_t bits, int n) {
    if (n <= 0)
        return;
    if (n < 32)
        bits &= (1u << n) - 1;
    ensureCapacity(Size + n);
    const std::size_t word = std::size_t(Size) >> 5;
    const int shift = Size & 31;
    Bits[word] |= bits << shift;
    if (shift + n > 32)
        Bits[word + 1] |= bits >> (32 - shift);
    Size += n;
}

void TBitArray::AppendBit(bool bit) {
    ensureCapacity(Size + 1);
    if (bit)
        SetBit(Size);
    ++Size;
}

void TBitArray::AppendBits(std::uint32_t value, int numBits) {
    if (numBits <= 0)
        return;
    ensureCapacity(Size + numBits);
    // Positions above bit 31 of a 32-bit value are zero.
    while (numBits > 32) {
        appendRaw(0, 1);
        --numBits;
    }
    appendRaw(reverse32(value) >> (32 - numBits), numBits);
}

void TBitArray::AppendBitArray(const TBitArray& newBitArray) {
    const int otherSize = newBitArray.Size;
    ensureCapacity(Size + otherSize);
    for (int i = 0; i < otherSize; i += 32)
        appendRaw(newBitArray.Bits[std::size_t(i) >> 5], otherSize - i < 32 ? otherSize - i : 32);
}

void TBitArray::ToBytes(int bitOffset, TByteArray& source, int offset, int numBytes) const {
    for (int k = 0; k < numBytes; ++k) {
        const int p = bitOffset + 8 * k;
        const std::size_t word = std::size_t(p) >> 5;
        const int shift = p & 31;
        // Storage past the end reads as zero bits.
        std::uint32_t bits = word < Bits.size() ? Bits[word] >> shift : 0u;
        if (shift > 24 && word + 1 < Bits.size())
            bits |= Bits[word + 1] << (32 - shift);
        source[std::size_t(offset + k)] = kReversedBytes[bits & 0xFF];
    }
}

void TBitArray::XorOperation(const TBitArray& other) {
    if (Bits.size() != other.Bits.size())
        return;
    for (std::size_t i = 0; i < Bits.size(); ++i)
        Bits[i] ^= other.Bits[i];
}
