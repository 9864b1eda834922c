#pragma once

#include <array>
#include <memory>
#include <vector>

// The error-correction level handed through the encoder. Bits is the two-bit level
// indicator of the format information (L = 1, M = 0, Q = 3, H = 2).
class TErrorCorrectionLevel {
public:
    TErrorCorrectionLevel() = default;
    explicit TErrorCorrectionLevel(int bits) : FBits(bits) {}

    // The four levels with their own block sets. A level made from its bits alone keeps
    // looking up the L blocks, as the card's symbols always have.
    static TErrorCorrectionLevel L() { return TErrorCorrectionLevel(1, 0); }
    static TErrorCorrectionLevel M() { return TErrorCorrectionLevel(0, 1); }
    static TErrorCorrectionLevel Q() { return TErrorCorrectionLevel(3, 2); }
    static TErrorCorrectionLevel H() { return TErrorCorrectionLevel(2, 3); }

    int Bits() const { return FBits; }
    void Assign(const TErrorCorrectionLevel& source) {
        FBits = source.FBits;
        FOrdinal = source.FOrdinal;
    }
    // Index of the level's block set: 0 for L, 1 for M, 2 for Q, 3 for H; 0 for a level made
    // from its bits alone.
    int Ordinal() const { return FOrdinal; }
    // The level's letter as its bits name it: 'L', 'M', 'Q' or 'H'.
    char Name() const { return "MLHQ"[FBits & 3]; }

private:
    TErrorCorrectionLevel(int bits, int ordinal) : FBits(bits), FOrdinal(ordinal) {}

    int FBits = 0;
    int FOrdinal = 0;
};

// One run of equally sized blocks.
class TECB {
public:
    TECB(int count, int dataCodewords) : Count(count), DataCodewords(dataCodewords) {}
    int GetCount() const { return Count; }
    int GetDataCodewords() const { return DataCodewords; }

private:
    int Count;
    int DataCodewords;
};

// The block structure of one version at one level: one or two runs, shorter blocks first.
class TECBlocks {
public:
    TECBlocks(int ecCodewordsPerBlock, TECB ecBlocks);
    TECBlocks(int ecCodewordsPerBlock, TECB ecBlocks1, TECB ecBlocks2);

    int GetECCodewordsPerBlock() const { return ECCodewordsPerBlock; }
    const std::vector<TECB>& GetECBlocks() const { return ECBlocks; }
    int GetNumBlocks() const;
    int GetTotalECCodewords() const { return GetNumBlocks() * ECCodewordsPerBlock; }

private:
    int ECCodewordsPerBlock;
    std::vector<TECB> ECBlocks;
};

// One of the 40 QR Code versions with its block sets for L, M, Q and H (index 0 to 3).
class TVersion {
public:
    TVersion(int versionNumber, std::vector<int> alignmentPatternCenters, TECBlocks ecBlocks1,
             TECBlocks ecBlocks2, TECBlocks ecBlocks3, TECBlocks ecBlocks4);

    // A new version object for 1..40, null otherwise.
    static std::unique_ptr<TVersion> GetVersionForNumber(int versionNum);
    // The smallest version whose data codewords hold numInputBits, null when none does.
    static std::unique_ptr<TVersion> ChooseVersion(int numInputBits, const TErrorCorrectionLevel& ecLevel);

    int VersionNumber() const { return FVersionNumber; }
    const std::vector<int>& AlignmentPatternCenters() const { return FAlignmentPatternCenters; }
    int GetTotalCodewords() const { return TotalCodewords; }
    const TECBlocks& GetECBlocksForLevel(const TErrorCorrectionLevel& ecLevel) const;
    // All four block sets, L, M, Q, H.
    const std::array<TECBlocks, 4>& ECBlocks() const { return FECBlocks; }
    int GetDimensionForVersion() const { return 17 + 4 * FVersionNumber; }

    // Allocation-free lookups over the same constant table, for the encoder's hot path.
    static int chooseVersionNumber(int numInputBits,
                                   const TErrorCorrectionLevel& ecLevel); // 0 when none fits
    static int totalCodewords(int versionNum);
    static int numBlocks(int versionNum, const TErrorCorrectionLevel& ecLevel);
    static int totalECCodewords(int versionNum, const TErrorCorrectionLevel& ecLevel);
    // Alignment centres of version v in row v - 1, ascending, padded with -1 (ISO/IEC 18004 Annex E).
    static const std::array<std::array<int, 7>, 40>& alignmentCentreTable();

private:
    int FVersionNumber;
    std::vector<int> FAlignmentPatternCenters;
    std::array<TECBlocks, 4> FECBlocks;
    int TotalCodewords;
    int ECCodewords;
};
