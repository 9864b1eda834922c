#include "qrcode/qrcodegenerator.h"

#include "qrcode/encoder.h"
#include "qrcode/qrcode.h"

void TQRCodeGenerator::SetData(const QString& data) {
    if (data == FData)
        return;
    FData = data;
    Regenerate();
}

void TQRCodeGenerator::SetEncoding(TQRCodeEncoding encoding) {
    if (encoding == FEncoding)
        return;
    FEncoding = encoding;
    Regenerate();
}

void TQRCodeGenerator::SetErrorCorrection(TQRErrorCorrection level) {
    if (level == FErrorCorrection || level > qrLevelH)
        return;
    FErrorCorrection = level;
    Regenerate();
}

void TQRCodeGenerator::SetQuietZone(int quietZone) {
    if (quietZone == FQuietZone || quietZone < 0 || quietZone > 100)
        return;
    FQuietZone = quietZone;
    Regenerate();
}

bool TQRCodeGenerator::IsBlack(int row, int column) const {
    const int q = FQuietZone;
    const int r = row - q;
    const int c = column - q;
    if (r < 0 || c < 0 || r >= FRows - 2 * q || c >= FColumns - 2 * q)
        return false;
    // After a failed encoding the margin may have changed while the sizes and modules stayed:
    // stay within the modules actually held.
    if (std::size_t(c) >= FElements.size() || std::size_t(r) >= FElements[std::size_t(c)].size())
        return false;
    return FElements[std::size_t(c)][std::size_t(r)];
}

void TQRCodeGenerator::Regenerate() {
    T2DBooleanArray elements = GenerateModules(FData, int(FEncoding), FErrorCorrection);
    FElements = std::move(elements);
    FRows = FColumns = int(FElements.size()) + 2 * FQuietZone;
}

T2DBooleanArray TQRCodeGenerator::GenerateModules(const QString& data, int encodeOptions,
                                                  TQRErrorCorrection errorCorrection) {
    const TErrorCorrectionLevel levels[] = {TErrorCorrectionLevel::L(), TErrorCorrectionLevel::M(),
                                            TErrorCorrectionLevel::Q(), TErrorCorrectionLevel::H()};
    const TErrorCorrectionLevel& level = levels[errorCorrection];
    TEncoder encoder;
    TQRCode qrCode;
    encoder.Encode(data, encodeOptions, level, qrCode);
    T2DBooleanArray result;
    if (const TByteMatrix* matrix = qrCode.Matrix()) {
        result.assign(std::size_t(matrix->Height()), std::vector<bool>(std::size_t(matrix->Width())));
        for (int i = 0; i < matrix->Height(); ++i)
            for (int j = 0; j < matrix->Width(); ++j)
                result[std::size_t(i)][std::size_t(j)] = matrix->Get(i, j) == 1;
    }
    return result;
}
