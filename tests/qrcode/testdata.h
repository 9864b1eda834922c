#pragma once

#include "qrcode/bitarray.h"
#include "qrcode/bytematrix.h"

#include <QString>

#include <cstdint>
#include <random>
#include <vector>

// Shared helpers of the QR encoder tests.

// The standard's byte-mode capacity at level L of versions 1 to 40 (ISO/IEC 18004, Table 7).
extern const std::vector<int> kByteCapacityL;

// Bytes read from a bit array, first bit most significant.
std::vector<int> bytesOf(const TBitArray& bits);
TBitArray bitsOf(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> randomBytes(std::mt19937& rng, int count);
// A text of `count` printable ASCII characters.
QString asciiText(int count, unsigned seed = 1);
// Cells of a matrix in row-major order.
std::vector<std::uint8_t> cellsOf(const TByteMatrix& matrix);
