#pragma once

#include "qrcode/bitarray.h"

#include <QString>

#include <cstdint>

// How the generator turns its text into data bits. Note the kept naming of the two UTF-8
// options: qrUTF8NoBOM writes a byte-order mark before the UTF-8 bytes, qrUTF8BOM writes none.
// qrAuto picks numeric, alphanumeric, ISO-8859-1, or else byte-order mark and UTF-8.
enum TQRCodeEncoding : std::uint8_t {
    qrAuto,
    qrNumeric,
    qrAlphanumeric,
    qrISO88591,
    qrUTF8NoBOM,
    qrUTF8BOM,
};

// The error-correction level of a symbol: about 7 %, 15 %, 25 % or 30 % of it can be lost.
enum TQRErrorCorrection : std::uint8_t { qrLevelL, qrLevelM, qrLevelQ, qrLevelH };

// A QR Code symbol of a text, with a light margin of QuietZone modules.
// Every assignment that changes Data, Encoding, ErrorCorrection or QuietZone encodes again
// at once.
// An encoding that fails (QRCodeTooLargeError from qrcode/encoder.h) propagates to the caller;
// the property keeps its new value and the previous symbol stays.
class TQRCodeGenerator {
public:
    TQRCodeGenerator() = default;

    const QString& Data() const { return FData; }
    void SetData(const QString& data);
    TQRCodeEncoding Encoding() const { return FEncoding; }
    void SetEncoding(TQRCodeEncoding encoding);
    TQRErrorCorrection ErrorCorrection() const { return FErrorCorrection; }
    void SetErrorCorrection(TQRErrorCorrection level);
    int QuietZone() const { return FQuietZone; }
    // Values outside 0..100 are ignored.
    void SetQuietZone(int quietZone);

    // Size of the symbol including both margins; 0 before the first encoding.
    int Rows() const { return FRows; }
    int Columns() const { return FColumns; }
    // The module at row, column (margin included); false outside the symbol.
    bool IsBlack(int row, int column) const;

private:
    void Regenerate();
    // Element [x][y] is true for a dark module in column x, row y.
    static T2DBooleanArray GenerateModules(const QString& data, int encodeOptions, TQRErrorCorrection level);

    QString FData;
    int FRows = 0;
    int FColumns = 0;
    TQRCodeEncoding FEncoding = TQRCodeEncoding::qrAuto;
    int FQuietZone = 4;
    TQRErrorCorrection FErrorCorrection = qrLevelL;
    T2DBooleanArray FElements;
};
