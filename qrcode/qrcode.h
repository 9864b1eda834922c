#pragma once

#include "qrcode/bytematrix.h"
#include "qrcode/encoder.h"
#include "qrcode/version.h"

#include <memory>

// The outcome of one encoding: mode, level, version, mask pattern and the finished matrix.
class TQRCode {
public:
    TQRCode() = default;

    bool QRCodeError() const { return FQRCodeError; }
    TMode Mode() const { return FMode; }
    int Version() const { return FVersion; }
    int NumDataBytes() const { return FNumDataBytes; }
    int NumTotalBytes() const { return FNumTotalBytes; }
    int NumRSBlocks() const { return FNumRSBlocks; }
    int NumECBytes() const { return FNumECBytes; }
    int MatrixWidth() const { return FMatrixWidth; }
    int MaskPattern() const { return FMaskPattern; }
    const TErrorCorrectionLevel* ECLevel() const { return FECLevel.get(); }
    const TByteMatrix* Matrix() const { return FMatrix.get(); }

    // Written by the encoder.
    void SetMode(TMode mode) { FMode = mode; }
    void SetVersion(int version) { FVersion = version; }
    void SetMaskPattern(int maskPattern) { FMaskPattern = maskPattern; }

    // The matrix's Get(x, y); a cell that is neither 0 nor 1 also sets QRCodeError.
    int At(int x, int y);
    static bool IsValidMaskPattern(int maskPattern) { return maskPattern >= 0 && maskPattern <= 7; }
    bool IsValid() const;
    void SetMatrix(std::unique_ptr<TByteMatrix> newMatrix) { FMatrix = std::move(newMatrix); }
    // Keeps a copy of the level; the caller keeps its own.
    void SetECLevel(const TErrorCorrectionLevel& newECLevel);
    void SetAll(int versionNum, int numBytes, int numDataBytes, int numRSBlocks, int numECBytes,
                int matrixWidth);

private:
    TMode FMode = TMode::qmTerminator;
    std::unique_ptr<TErrorCorrectionLevel> FECLevel;
    int FVersion = -1;
    int FMatrixWidth = -1;
    int FMaskPattern = -1;
    int FNumTotalBytes = -1;
    int FNumDataBytes = -1;
    int FNumECBytes = -1;
    int FNumRSBlocks = -1;
    std::unique_ptr<TByteMatrix> FMatrix;
    bool FQRCodeError = false;
};
