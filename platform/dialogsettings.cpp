#include "platform/dialogsettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace lumo {

QString keepDialogSettingsPerRun() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        return {};
    // One folder reused from run to run, unlike a temporary folder, which a run ended by a
    // signal or a crash would leave behind.
    const QString folder = cache + QStringLiteral("/qt-dialogs");
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, folder);
    return folder;
}

} // namespace lumo
