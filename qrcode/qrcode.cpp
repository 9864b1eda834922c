#include "qrcode/qrcode.h"

int TQRCode::At(int x, int y) {
    const int value = FMatrix->Get(x, y);
    if (value != 0 && value != 1)
        FQRCodeError = true;
    return value;
}

bool TQRCode::IsValid() const {
    return FECLevel && FVersion != -1 && FMatrixWidth != -1 && FMaskPattern != -1 && FNumTotalBytes != -1 &&
           FNumDataBytes != -1 && FNumECBytes != -1 && FNumRSBlocks != -1 &&
           IsValidMaskPattern(FMaskPattern) && FNumDataBytes + FNumECBytes == FNumTotalBytes && FMatrix &&
           FMatrixWidth == FMatrix->Width() && FMatrix->Width() == FMatrix->Height();
}

void TQRCode::SetECLevel(const TErrorCorrectionLevel& newECLevel) {
    FECLevel = std::make_unique<TErrorCorrectionLevel>();
    FECLevel->Assign(newECLevel);
}

void TQRCode::SetAll(int versionNum, int numBytes, int numDataBytes, int numRSBlocks, int numECBytes,
                     int matrixWidth) {
    FVersion = versionNum;
    FNumTotalBytes = numBytes;
    FNumDataBytes = numDataBytes;
    FNumRSBlocks = numRSBlocks;
    FNumECBytes = numECBytes;
    FMatrixWidth = matrixWidth;
}
