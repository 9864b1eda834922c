#pragma once

// `lumocard --nfc CARTÃO.lumocard [--reader NOME] [--timeout SEGUNDOS]`: writes the card's
// vCard to the chip brought to the reader, without a window.

#include <QString>

namespace lumo {

constexpr int kDefaultNfcTimeoutSeconds = 30;

// Opens the document, waits up to `timeoutSeconds` for a chip in `readerName` (the first
// reader when empty), writes the vCard of the card's QR code and reads it back. Messages go to
// stderr, the result line to stdout, in Portuguese. Returns 0 only when the read-back matched,
// 1 when something failed or no chip came, 2 for a timeout that is not a positive number.
int runNfcCommand(const QString& documentPath, const QString& readerName,
                  int timeoutSeconds = kDefaultNfcTimeoutSeconds);

} // namespace lumo
