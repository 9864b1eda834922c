#include "qrcode/genericgf.h"

#include <algorithm>
#include <array>
#include <cstring>

TGenericGF::TGenericGF(int primitive, int size, int b)
    : FSize(size), FPrimitive(primitive), FGeneratorBase(b) {}

TGenericGF::~TGenericGF() = default;

std::unique_ptr<TGenericGF> TGenericGF::CreateQRCodeField256() {
    return std::make_unique<TGenericGF>(0x11D, 256, 0);
}

void TGenericGF::Initialize() {
    FExpTable.assign(std::size_t(FSize), 0);
    FLogTable.assign(std::size_t(FSize), 0);
    int x = 1;
    for (int i = 0; i < FSize; ++i) {
        FExpTable[std::size_t(i)] = x;
        x *= 2;
        if (x >= FSize)
            x = (x ^ FPrimitive) & (FSize - 1);
    }
    // The last entry (a^(size-1) = 1) is left out, so the logarithm of 1 stays 0.
    for (int i = 0; i < FSize - 1; ++i)
        FLogTable[std::size_t(FExpTable[std::size_t(i)])] = i;
    FZero = TGenericGFPoly::Create(this, {0});
    FOne = TGenericGFPoly::Create(this, {1});
    FInitialized = true;
}

int TGenericGF::Exp(int a) {
    if (!FInitialized)
        Initialize();
    return FExpTable[std::size_t(a)];
}

int TGenericGF::Inverse(int a) {
    if (!FInitialized)
        Initialize();
    if (a == 0)
        return 0;
    return FExpTable[std::size_t(FSize - FLogTable[std::size_t(a)] - 1)];
}

int TGenericGF::Multiply(int a, int b) {
    if (!FInitialized)
        Initialize();
    if (a == 0 || b == 0)
        return 0;
    return FExpTable[std::size_t((FLogTable[std::size_t(a)] + FLogTable[std::size_t(b)]) % (FSize - 1))];
}

TGenericGFPoly* TGenericGF::GetZero() {
    if (!FInitialized)
        Initialize();
    return FZero;
}

TGenericGFPoly* TGenericGF::BuildMonomial(int degree, int coefficient) {
    if (!FInitialized)
        Initialize();
    if (degree < 0)
        return nullptr;
    if (coefficient == 0)
        return FZero;
    TIntegerArray coefficients(std::size_t(degree) + 1, 0);
    coefficients[0] = coefficient;
    return TGenericGFPoly::Create(this, std::move(coefficients));
}

TGenericGFPoly::TGenericGFPoly(TGenericGF* field, TIntegerArray coefficients) : FField(field) {
    if (coefficients.size() > 1 && coefficients[0] == 0) {
        const auto firstNonZero =
            std::find_if(coefficients.begin(), coefficients.end(), [](int c) { return c != 0; });
        if (firstNonZero == coefficients.end())
            FCoefficients = {0};
        else
            FCoefficients.assign(firstNonZero, coefficients.end());
    } else {
        FCoefficients = std::move(coefficients);
    }
}

TGenericGFPoly* TGenericGFPoly::Create(TGenericGF* field, TIntegerArray coefficients) {
    field->FPolyList.push_back(
        std::unique_ptr<TGenericGFPoly>(new TGenericGFPoly(field, std::move(coefficients))));
    return field->FPolyList.back().get();
}

TGenericGFPoly* TGenericGFPoly::AddOrSubtract(TGenericGFPoly* other) {
    if (!other || other->FField != FField)
        return nullptr;
    if (IsZero())
        return other;
    if (other->IsZero())
        return this;
    const TIntegerArray* smaller = &FCoefficients;
    const TIntegerArray* larger = &other->FCoefficients;
    if (smaller->size() > larger->size())
        std::swap(smaller, larger);
    TIntegerArray sum(larger->size());
    const std::size_t lengthDiff = larger->size() - smaller->size();
    std::copy_n(larger->begin(), lengthDiff, sum.begin());
    for (std::size_t i = lengthDiff; i < larger->size(); ++i)
        sum[i] = TGenericGF::AddOrSubtract((*smaller)[i - lengthDiff], (*larger)[i]);
    return Create(FField, std::move(sum));
}

TGenericGFPoly* TGenericGFPoly::Multiply(TGenericGFPoly* other) {
    if (!other || other->FField != FField)
        return nullptr;
    if (IsZero() || other->IsZero())
        return FField->GetZero();
    const TIntegerArray& a = FCoefficients;
    const TIntegerArray& b = other->FCoefficients;
    TIntegerArray product(a.size() + b.size() - 1, 0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j)
            product[i + j] = TGenericGF::AddOrSubtract(product[i + j], FField->Multiply(a[i], b[j]));
    return Create(FField, std::move(product));
}

TGenericGFPoly* TGenericGFPoly::MultiplyByMonomial(int degree, int coefficient) {
    if (degree < 0)
        return nullptr;
    if (coefficient == 0)
        return FField->GetZero();
    TIntegerArray product(FCoefficients.size() + std::size_t(degree), 0);
    for (std::size_t i = 0; i < FCoefficients.size(); ++i)
        product[i] = FField->Multiply(FCoefficients[i], coefficient);
    return Create(FField, std::move(product));
}

TGenericGFPolyArray TGenericGFPoly::Divide(TGenericGFPoly* other) {
    if (!other || other->FField != FField || other->IsZero())
        return {};
    TGenericGFPoly* quotient = FField->GetZero();
    TGenericGFPoly* remainder = this;
    const int inverseDenominatorLeadingTerm = FField->Inverse(other->GetCoefficient(other->GetDegree()));
    while (remainder->GetDegree() >= other->GetDegree() && !remainder->IsZero()) {
        const int degreeDifference = remainder->GetDegree() - other->GetDegree();
        const int scale = FField->Multiply(remainder->GetCoefficient(remainder->GetDegree()),
                                           inverseDenominatorLeadingTerm);
        quotient = quotient->AddOrSubtract(FField->BuildMonomial(degreeDifference, scale));
        remainder = remainder->AddOrSubtract(other->MultiplyByMonomial(degreeDifference, scale));
    }
    return {quotient, remainder};
}

TReedSolomonEncoder::TReedSolomonEncoder(TGenericGF* field) : FField(field) {
    FCachedGenerators.push_back(TGenericGFPoly::Create(field, {1}));
}

TGenericGFPoly* TReedSolomonEncoder::BuildGenerator(int degree) {
    if (degree < 0)
        return nullptr;
    if (int(FCachedGenerators.size()) < degree + 1) {
        TGenericGFPoly* lastGenerator = FCachedGenerators.back();
        for (int d = int(FCachedGenerators.size()); d <= degree; ++d) {
            TGenericGFPoly* factor =
                TGenericGFPoly::Create(FField, {1, FField->Exp(d - 1 + FField->GetGeneratorBase())});
            lastGenerator = lastGenerator->Multiply(factor);
            FCachedGenerators.push_back(lastGenerator);
        }
    }
    return FCachedGenerators[std::size_t(degree)];
}

void TReedSolomonEncoder::Encode(TIntegerArray& toEncode, int ecBytes) {
    if (ecBytes <= 0)
        return;
    const int dataBytes = int(toEncode.size()) - ecBytes;
    if (dataBytes <= 0)
        return;
    TGenericGFPoly* generator = BuildGenerator(ecBytes);
    TIntegerArray infoCoefficients(toEncode.begin(), toEncode.begin() + dataBytes);
    TGenericGFPoly* info = TGenericGFPoly::Create(FField, std::move(infoCoefficients));
    info = info->MultiplyByMonomial(ecBytes, 1);
    const TIntegerArray& coefficients = info->Divide(generator)[1]->Coefficients();
    const int numZeroCoefficients = ecBytes - int(coefficients.size());
    for (int i = 0; i < numZeroCoefficients; ++i)
        toEncode[std::size_t(dataBytes + i)] = 0;
    std::copy(coefficients.begin(), coefficients.end(), toEncode.begin() + dataBytes + numZeroCoefficients);
}

namespace {

// Per generator degree d (1..30, the EC block sizes of the version tables), the 256 rows
// product[f][i] = f * g(i + 1), g being the generator's coefficients highest first, so that
// one division step is a row lookup and d exclusive ors.
struct QRReedSolomonTables {
    static constexpr int kMaxDegree = 30;
    std::array<std::vector<std::uint8_t>, kMaxDegree + 1> products;

    QRReedSolomonTables() {
        const std::unique_ptr<TGenericGF> field = TGenericGF::CreateQRCodeField256();
        TReedSolomonEncoder encoder(field.get());
        for (int d = 1; d <= kMaxDegree; ++d) {
            const TIntegerArray& g = encoder.BuildGenerator(d)->Coefficients();
            std::vector<std::uint8_t>& rows = products[std::size_t(d)];
            rows.resize(256 * std::size_t(d));
            for (int f = 0; f < 256; ++f)
                for (int i = 0; i < d; ++i)
                    rows[std::size_t(f * d + i)] = std::uint8_t(field->Multiply(f, g[std::size_t(i + 1)]));
        }
    }
};

const QRReedSolomonTables& qrTables() {
    static const QRReedSolomonTables tables;
    return tables;
}

} // namespace

void qrReedSolomon(const std::uint8_t* data, int dataCount, std::uint8_t* ec, int ecCount) {
    if (ecCount <= 0)
        return;
    if (ecCount > QRReedSolomonTables::kMaxDegree) {
        // Beyond any QR block: take the general route.
        const std::unique_ptr<TGenericGF> field = TGenericGF::CreateQRCodeField256();
        TReedSolomonEncoder encoder(field.get());
        TIntegerArray block(data, data + dataCount);
        block.resize(std::size_t(dataCount + ecCount), 0);
        encoder.Encode(block, ecCount);
        for (int i = 0; i < ecCount; ++i)
            ec[i] = std::uint8_t(block[std::size_t(dataCount + i)]);
        return;
    }
    const std::uint8_t* products = qrTables().products[std::size_t(ecCount)].data();
    // Remainder register, highest coefficient first; one spare byte for the shift.
    std::uint8_t reg[QRReedSolomonTables::kMaxDegree + 1] = {};
    for (int k = 0; k < dataCount; ++k) {
        const std::uint8_t factor = data[k] ^ reg[0];
        std::memmove(reg, reg + 1, std::size_t(ecCount));
        reg[ecCount - 1] = 0;
        const std::uint8_t* row = products + std::size_t(factor) * std::size_t(ecCount);
        for (int i = 0; i < ecCount; ++i)
            reg[i] ^= row[i];
    }
    std::memcpy(ec, reg, std::size_t(ecCount));
}
