#pragma once

#include "qrcode/bitarray.h"

#include <string>

// A grid of module bytes: 0 light, 1 dark, 255 empty (not assigned yet).
// Positions are column first: (x, y) is the cell in column x of row y.
class TByteMatrix {
public:
    TByteMatrix(int width, int height); // every cell 0

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

    // -1 for an empty cell, otherwise the stored byte.
    int Get(int x, int y) const {
        const std::uint8_t v = Bytes[std::size_t(y)][std::size_t(x)];
        return v == 255 ? -1 : v;
    }
    void SetBoolean(int x, int y, bool value) { Bytes[std::size_t(y)][std::size_t(x)] = value ? 1 : 0; }
    // Keeps the low 8 bits, so -1 marks the cell empty.
    void SetInteger(int x, int y, int value) { Bytes[std::size_t(y)][std::size_t(x)] = std::uint8_t(value); }
    void Clear(std::uint8_t value);

    // The rows themselves (Bytes[y][x]), not a copy.
    T2DByteArray& GetArray() { return Bytes; }
    const T2DByteArray& GetArray() const { return Bytes; }

    // One capital letter per row: 'A' + (sum of the row's Get values, -1 counted as 255) mod 26.
    std::string Hash() const;

private:
    T2DByteArray Bytes;
    int FWidth;
    int FHeight;
};
