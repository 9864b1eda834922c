#pragma once

#include <cstdint>
#include <cstring>

// Sixteen module bytes at a time through the compiler's vector extension (GCC and Clang),
// for the mask candidates and their penalty. Loads and stores may run up to one vector past
// the last cell: such buffers carry kCellSlack spare bytes at their end.
typedef std::uint8_t Bytes16 __attribute__((vector_size(16)));

constexpr int kCellSlack = 32;

inline Bytes16 load16(const std::uint8_t* p) {
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store16(std::uint8_t* p, Bytes16 v) {
    std::memcpy(p, &v, sizeof v);
}

inline bool any16(Bytes16 v) {
    std::uint64_t halves[2];
    std::memcpy(halves, &v, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}
