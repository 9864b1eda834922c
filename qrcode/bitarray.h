#pragma once

#include <cstdint>
#include <vector>

// Array types shared by the encoder's stages. The first element has index 0.
using TByteArray = std::vector<std::uint8_t>;
using T2DByteArray = std::vector<TByteArray>;
using TIntegerArray = std::vector<std::int32_t>;
using T2DBooleanArray = std::vector<std::vector<bool>>;

// A growable sequence of bits. Bit i lives in bit (i mod 32) of storage word (i div 32),
// bit 0 being the least significant. Storage words beyond what the bits need are zero,
// and only XorOperation can put a 1 there.
class TBitArray {
public:
    TBitArray();                  // empty, one zero storage word
    explicit TBitArray(int size); // empty, storage reserved for `size` bits

    int GetSize() const { return Size; }
    int GetSizeInBytes() const { return (Size + 7) / 8; }
    bool Get(int i) const { return (Bits[std::size_t(i) >> 5] >> (i & 31)) & 1u; }
    void SetBit(int index) { Bits[std::size_t(index) >> 5] |= 1u << (index & 31); }

    void AppendBit(bool bit);
    // Appends the numBits low-order bits of value, most significant first.
    void AppendBits(std::uint32_t value, int numBits);
    void AppendBitArray(const TBitArray& newBitArray);
    // Writes numBytes bytes into source[offset...]; each byte takes eight bits from bitOffset on,
    // the first of them as its most significant bit.
    void ToBytes(int bitOffset, TByteArray& source, int offset, int numBytes) const;
    // Word-wise exclusive or; does nothing when the storage lengths differ.
    void XorOperation(const TBitArray& other);

    // Number of 32-bit storage words.
    int storageWords() const { return int(Bits.size()); }

private:
    void ensureCapacity(int size);
    // Appends n (0..32) bits given in storage order: bit 0 of `bits` becomes bit number Size.
    void appendRaw(std::uint32_t bits, int n);

    std::vector<std::uint32_t> Bits;
    int Size = 0;
};
