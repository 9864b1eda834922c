#pragma once

// The program's own words for the common reasons a file cannot be opened, read or written,
// wherever the reason comes from: an errno value, or the text Qt or the C library gave for it
// (in English, or in the language of the system's locale).

#include <QString>

class QFileDevice;

namespace lumo {

// "o arquivo ou a pasta não existe", "sem permissão de acesso", "o disco está cheio", … for
// the common error numbers; the C library's text for the others. No full stop.
QString systemErrorText(int errorNumber);

// `text` in the program's words when it is the text of one of the common system errors
// (as QFileDevice::errorString() gives them); otherwise `text` as it stands.
QString systemErrorText(const QString& text);

// Why `file` failed, in the program's words where they exist.
QString fileErrorText(const QFileDevice& file);

} // namespace lumo
