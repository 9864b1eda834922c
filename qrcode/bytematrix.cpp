#include "qrcode/bytematrix.h"

TByteMatrix::TByteMatrix(int width, int height)
    : Bytes(std::size_t(height), TByteArray(std::size_t(width), 0)), FWidth(width), FHeight(height) {}

void TByteMatrix::Clear(std::uint8_t value) {
    for (TByteArray& row : Bytes)
        std::fill(row.begin(), row.end(), value);
}

std::string TByteMatrix::Hash() const {
    std::string hash;
    hash.reserve(std::size_t(FHeight));
    for (const TByteArray& row : Bytes) {
        unsigned sum = 0;
        for (std::uint8_t cell : row)
            sum += cell; // an empty cell reads -1 and counts as 255, its stored byte
        hash.push_back(char('A' + sum % 26));
    }
    return hash;
}
