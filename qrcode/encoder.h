#pragma once

#include "qrcode/bitarray.h"
#include "qrcode/bytematrix.h"
#include "qrcode/version.h"

#include <QString>

#include <cstdint>
#include <stdexcept>

class TQRCode;

// The data modes of a QR segment (ISO/IEC 18004). The encoder produces numeric,
// alphanumeric and byte segments only.
enum TMode : std::uint8_t {
    qmTerminator,
    qmNumeric,
    qmAlphanumeric,
    qmStructuredAppend,
    qmByte,
    qmECI,
    qmKanji,
    qmFNC1FirstPosition,
    qmFNC1SecondPosition,
    qmHanzi,
};

// A text that no version holds at the level. The message is for the user.
class QRCodeTooLargeError : public std::runtime_error {
public:
    QRCodeTooLargeError(int size, int limit, const char* unit, char level = 'L');
    int size() const { return FSize; }
    int limit() const { return FLimit; }

private:
    int FSize;
    int FLimit;
};

// One Reed-Solomon block: its data codewords and their error-correction codewords.
class TBlockPair {
public:
    TBlockPair(TByteArray ba1, TByteArray ba2)
        : FDataBytes(std::move(ba1)), FErrorCorrectionBytes(std::move(ba2)) {}
    const TByteArray& GetDataBytes() const { return FDataBytes; }
    const TByteArray& GetErrorCorrectionBytes() const { return FErrorCorrectionBytes; }

private:
    TByteArray FDataBytes;
    TByteArray FErrorCorrectionBytes;
};

// The data codewords of a text before error correction: mode, version, and the bits of
// mode indicator, character count, data, terminator and pad codewords.
struct QREncodedData {
    TMode mode = qmTerminator;
    int version = 0;
    TBitArray bits;
};

// Turns a text into a QR Code symbol: one segment, the smallest version, the mask of lowest penalty.
//
// Encoding options (the ordinals of TQRCodeEncoding): 0 automatic, 1 numeric, 2 alphanumeric,
// 3 ISO-8859-1 bytes, 4 byte-order mark then UTF-8, 5 UTF-8 alone. Option 4 is the one
// that writes the mark; callers rely on that numbering.
class TEncoder {
public:
    TEncoder() = default;

    // Set when one of the internal consistency checks fails; stays set.
    bool EncoderError() const { return FEncoderError; }

    // Fills qrCode with mode, a copy of ecLevel, version, mask pattern and matrix.
    // Throws QRCodeTooLargeError, leaving qrCode untouched, when no version holds the text.
    void Encode(const QString& content, int encodeOptions, const TErrorCorrectionLevel& ecLevel,
                TQRCode& qrCode);

    // Steps 1 to 7 of Encode: mode, filter, data bits, the two-pass version choice, header,
    // terminator and padding. Throws QRCodeTooLargeError when no version holds the text.
    QREncodedData encodeData(const QString& content, int encodeOptions, const TErrorCorrectionLevel& ecLevel);
    // InterleaveBlocks on bytes with the cached Reed-Solomon tables: the same checks and codewords.
    TByteArray interleaveCodewords(const TBitArray& bits, int numTotalBytes, int numDataBytes,
                                   int numRSBlocks);

    // The steps of Encode in the order it runs them, public so that each can be checked alone.
    // SelectMode may turn option 0 into 3 or 4.
    TMode SelectMode(const QString& content, int& encodeOptions) const;
    QString FilterText(const QString& content, TMode mode, int encodeOptions) const;
    void AppendData(const QString& content, TMode mode, int encodeOptions, TBitArray& bits);
    void AppendNumericData(const QString& content, TBitArray& bits);
    void AppendAlphanumericData(const QString& content, TBitArray& bits);
    void AppendByteData(const QString& content, int encodeOptions, TBitArray& bits);
    void AppendModeIndicator(TMode mode, TBitArray& bits);
    void AppendCharacterCount(int numLetters, TMode mode, int version, TBitArray& bits);
    void TerminateAndPad(int numDataBytes, TBitArray& bits);
    // Data and EC codeword counts of block blockID, derived from the totals; unchanged on error.
    void GetBlockSizes(int numTotalBytes, int numDataBytes, int numRSBlocks, int blockID,
                       int& numDataBytesInBlock, int& numECBytesInBlock);
    void InterleaveBlocks(const TBitArray& bits, int numTotalBytes, int numDataBytes, int numRSBlocks,
                          TBitArray& result);
    TByteArray ComputeECBytes(const TByteArray& dataBytes, int numECBytesInBlock);
    // Builds all eight candidates into matrix (left holding the last) and returns the mask of
    // lowest penalty, the lower number on a tie.
    int SelectMaskPattern(const TBitArray& bits, const TErrorCorrectionLevel& ecLevel, int version,
                          TByteMatrix& matrix);

    // Penalty rules by which the masks are compared. The balance rule adds at most 1 point.
    static int MaskPenalty(const TByteMatrix& matrix);
    static int RunPenalty(const TByteMatrix& matrix);
    static int LineRunPenalty(const TByteMatrix& matrix, bool horizontal);
    static int BlockPenalty(const TByteMatrix& matrix);
    static int FinderLikePenalty(const TByteMatrix& matrix);
    static int BalancePenalty(const TByteMatrix& matrix);

    // -1 for a code unit outside the 45 alphanumeric characters.
    static int AlphanumericCode(int codeUnit);
    static int CharacterCountBits(TMode mode, int version);
    static int ModeIndicator(TMode mode);

    // The same penalty as MaskPenalty, computed in one pass over the cells in row-major
    // (cells) and column-major (cellsT) order; cells hold 0 and 1 only, and both buffers
    // stay readable for kCellSlack bytes past the last cell (qrcode/bytes16.h).
    static int penaltyOfCells(const std::uint8_t* cells, const std::uint8_t* cellsT, int n);
    // penaltyOfCells for a complete matrix.
    static int fastMaskPenalty(const TByteMatrix& matrix);
    // The most characters (bytes in byte mode) of one segment that the largest version holds.
    static int maxCharacters(TMode mode, const TErrorCorrectionLevel& ecLevel);

private:
    bool FEncoderError = false;
};
