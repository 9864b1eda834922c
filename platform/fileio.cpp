#include "platform/fileio.h"

#include "platform/errors.h"
#include "platform/systemerrors.h"

#include <QDir>
#include <QFile>
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

// The path as the system spells it; a folder with accents survives the conversion.
std::filesystem::path nativePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
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
        writeFailed(path, fileErrorText(file));
    if (file.write(bytes) != bytes.size() || !file.flush())
        writeFailed(path, fileErrorText(file));
    // Closed first: Windows does not rename a file that is open. The file stays removed on
    // failure all the same, as its name is kept.
    const QString temporary = file.fileName();
    file.close();
    std::error_code error;
    std::filesystem::rename(nativePath(temporary), nativePath(path), error);
    if (error)
        writeFailed(path, QString::fromLocal8Bit(error.message()));
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
        fail(fileErrorText(file));
    // Qt commits a file whose buffered tail could not be written (a full disk) as if it were
    // complete, and reports a short write as no error: both are checked here.
    if (file.write(bytes) != bytes.size() || !file.flush())
        fail(QStringLiteral("nem todos os dados puderam ser gravados; o disco pode estar cheio."));
    if (!file.commit())
        fail(fileErrorText(file));
}

} // namespace lumo
