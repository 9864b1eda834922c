#include "platform/fileio.h"

#include "platform/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace lumo {

void writeFileAtomically(const QString& path, const QByteArray& bytes) {
    const auto fail = [&](const QString& reason) {
        throw UserError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                            .arg(QDir::toNativeSeparators(path), reason));
    };
    if (QFileInfo(path).isDir())
        fail(QStringLiteral("o caminho é uma pasta."));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    if (file.write(bytes) != bytes.size())
        fail(file.errorString());
    if (!file.commit())
        fail(file.errorString());
}

} // namespace lumo
