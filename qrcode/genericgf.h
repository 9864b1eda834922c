#pragma once

#include "qrcode/bitarray.h"

#include <memory>
#include <vector>

class TGenericGFPoly;
using TGenericGFPolyArray = std::vector<TGenericGFPoly*>;

// The finite field GF(size) built from a primitive polynomial, with generator base b.
// The field owns every polynomial made over it (an arena): results of polynomial
// operations are never freed one by one and live exactly as long as the field.
class TGenericGF {
public:
    TGenericGF(int primitive, int size, int b); // tables are built on first use
    ~TGenericGF();
    TGenericGF(const TGenericGF&) = delete;
    TGenericGF& operator=(const TGenericGF&) = delete;

    // The QR Code field: x^8 + x^4 + x^3 + x^2 + 1 (0x11D), 256 elements, base 0.
    static std::unique_ptr<TGenericGF> CreateQRCodeField256();

    int Exp(int a);
    int Inverse(int a);
    int Multiply(int a, int b);
    static int AddOrSubtract(int a, int b) { return a ^ b; }
    TGenericGFPoly* GetZero();
    int GetGeneratorBase() const { return FGeneratorBase; }
    // Null for a negative degree, the zero polynomial for a zero coefficient.
    TGenericGFPoly* BuildMonomial(int degree, int coefficient);

    int polynomialCount() const { return int(FPolyList.size()); }

private:
    friend class TGenericGFPoly;
    void Initialize();

    TIntegerArray FExpTable;
    TIntegerArray FLogTable;
    TGenericGFPoly* FZero = nullptr;
    TGenericGFPoly* FOne = nullptr;
    int FSize;
    int FPrimitive;
    int FGeneratorBase;
    bool FInitialized = false;
    std::vector<std::unique_ptr<TGenericGFPoly>> FPolyList;
};

// A polynomial over a field, coefficients highest degree first, without leading zeros
// (the zero polynomial is the single coefficient 0). Made only through Create, owned by the field.
class TGenericGFPoly {
public:
    static TGenericGFPoly* Create(TGenericGF* field, TIntegerArray coefficients);

    const TIntegerArray& Coefficients() const { return FCoefficients; }
    const TIntegerArray& GetCoefficients() const { return FCoefficients; }
    int GetDegree() const { return int(FCoefficients.size()) - 1; }
    bool IsZero() const { return FCoefficients[0] == 0; }
    // Coefficient of x^degree.
    int GetCoefficient(int degree) const {
        return FCoefficients[FCoefficients.size() - 1 - std::size_t(degree)];
    }
    TGenericGF* Field() const { return FField; }

    // Each returns null where the operands belong to different fields.
    TGenericGFPoly* AddOrSubtract(TGenericGFPoly* other);
    TGenericGFPoly* Multiply(TGenericGFPoly* other);
    TGenericGFPoly* MultiplyByMonomial(int degree, int coefficient);
    // Quotient then remainder; empty for a zero divisor or another field.
    TGenericGFPolyArray Divide(TGenericGFPoly* other);

private:
    TGenericGFPoly(TGenericGF* field, TIntegerArray coefficients);

    TGenericGF* FField;
    TIntegerArray FCoefficients;
};

// Appends Reed-Solomon error-correction codewords to data over a field.
class TReedSolomonEncoder {
public:
    explicit TReedSolomonEncoder(TGenericGF* field);

    // The generator polynomial of the given degree, (x + a^base)...(x + a^(base+degree-1)); cached.
    TGenericGFPoly* BuildGenerator(int degree);
    // The first size - ecBytes entries are the data; the last ecBytes entries receive the codewords.
    void Encode(TIntegerArray& toEncode, int ecBytes);

private:
    TGenericGF* FField;
    std::vector<TGenericGFPoly*> FCachedGenerators; // owned by the field
};

// Fast Reed-Solomon over the QR field, with the field tables and generator products
// computed once per process: writes the ecCount codewords of data[0..dataCount) to ec.
// Gives the same codewords as TReedSolomonEncoder on a QR field.
void qrReedSolomon(const std::uint8_t* data, int dataCount, std::uint8_t* ec, int ecCount);
