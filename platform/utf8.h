#pragma once

#include <QByteArray>
#include <QString>

namespace lumo {

// UTF-16 to UTF-8 as the program writes it everywhere (QR symbols, .vcf files).
// An unpaired surrogate becomes U+FFFD (EF BF BD); Qt alone would write '?'.
QByteArray toUtf8(const QString& text);

} // namespace lumo
