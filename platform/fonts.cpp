#include "platform/fonts.h"

#include <QFont>
#include <QStringList>

namespace lumo {

void installFontSubstitutes() {
    const QStringList narrowSans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")};
    for (const char* family : {"Segoe UI", "Tahoma", "Arial"})
        if (QFont::substitutes(QString::fromLatin1(family)).isEmpty())
            QFont::insertSubstitutions(QString::fromLatin1(family), narrowSans);
}

} // namespace lumo
