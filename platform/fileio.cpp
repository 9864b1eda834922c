#include "platform/fileio.h"

#include "platform/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <filesystem>

namespace lumo {

namespace {

[[noreturn]] void writeFailed(const QString& path, const QString& reason) {
    throw UserError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                        .arg(QDir::toNativeSeparators(path), reason));
}

} // namespace

void replaceFileAtomically(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        writeFailed(path, QStringLiteral("o caminho é uma pasta."));
    // A new file with an unpredictable name, opened exclusively, then renamed over the
    // name: rename() replaces whatever entry stands there, a link included.
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.XXXXXX.tmp"));
    if (!file.open())
        writeFailed(path, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        writeFailed(path, file.errorString());
    std::error_code error;
    std::filesystem::rename(file.fileName().toStdString(), path.toStdString(), error);
    if (error)
        writeFailed(path, QString::fromStdString(error.message()));
    file.setAutoRemove(false);
}

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
    // QSaveFile::commit() does not report a failure of the last flush (a disk that fills up
    // halfway): flush first, so that a short file never replaces the old one.
    if (file.write(bytes) != bytes.size() || !file.flush())
        fail(file.errorString());
    if (!file.commit())
        fail(file.errorString());
}

} // namespace lumo
