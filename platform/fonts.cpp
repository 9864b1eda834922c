#include "platform/fonts.h"

#include "platform/errors.h"
#include "platform/fileio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QStandardPaths>
#include <QStringList>

namespace lumo {

namespace {

// A folder only this user can write to, so no other user's file stands in the way. The
// runtime folder is private by design; the cache folder is under the user's home.
QString usersOwnFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString folder = !runtime.isEmpty() && QFileInfo(runtime).isDir()
                         ? runtime + u'/' + QCoreApplication::applicationName()
                         : QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

} // namespace

void installFontSubstitutes() {
    const QStringList narrowSans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")};
    for (const char* family : {"Segoe UI", "Tahoma", "Arial"})
        if (QFont::substitutes(QString::fromLatin1(family)).isEmpty())
            QFont::insertSubstitutions(QString::fromLatin1(family), narrowSans);
}

void installIconFont() {
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families)
        if (family.compare(QStringLiteral("icomoon"), Qt::CaseInsensitive) == 0)
            return;

    QFile resource(QStringLiteral(":/fonts/icomoon.ttf"));
    const QByteArray data = resource.open(QIODevice::ReadOnly) ? resource.readAll() : QByteArray();
    QString folder = qEnvironmentVariable("TEMP");
    if (folder.isEmpty())
        folder = usersOwnFolder();
    const QString path = folder + QStringLiteral("/icomoon.ttf");
    try {
        replaceFileAtomically(path, data);
    } catch (const UserError&) {
        // The file is a convenience; the icon needs only the family.
        if (QFontDatabase::addApplicationFontFromData(data) < 0)
            throw;
        return;
    }
    if (QFontDatabase::addApplicationFont(path) < 0)
        QFontDatabase::addApplicationFontFromData(data);
}

} // namespace lumo
