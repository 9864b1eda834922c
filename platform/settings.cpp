#include "platform/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace lumo {

namespace {

const QString kRecentKey = QStringLiteral("documentos/recentes");

QSettings open() {
    return QSettings(Settings::path(), QSettings::IniFormat);
}

} // namespace

QString Settings::path() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/lumocard.conf");
}

QStringList Settings::recentDocuments() {
    QStringList list = open().value(kRecentKey).toStringList();
    list.removeAll(QString());
    return list.mid(0, kRecentCount);
}

void Settings::addRecentDocument(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = recentDocuments();
    list.removeAll(absolute);
    list.prepend(absolute);
    open().setValue(kRecentKey, list.mid(0, kRecentCount));
}

void Settings::removeRecentDocument(const QString& path) {
    QStringList list = recentDocuments();
    list.removeAll(QFileInfo(path).absoluteFilePath());
    open().setValue(kRecentKey, list);
}

QString Settings::lastFolder(const QString& dialogName) {
    const QString folder = open().value(QStringLiteral("pastas/") + dialogName).toString();
    return QFileInfo(folder).isDir() ? folder : QString();
}

void Settings::setLastFolder(const QString& dialogName, const QString& folder) {
    open().setValue(QStringLiteral("pastas/") + dialogName, QDir::cleanPath(folder));
}

QVariant Settings::choice(const QString& key, const QVariant& fallback) {
    return open().value(key, fallback);
}

void Settings::setChoice(const QString& key, const QVariant& value) {
    open().setValue(key, value);
}

} // namespace lumo
