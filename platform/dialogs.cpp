#include "platform/dialogs.h"

namespace lumo {

QString qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return entries.join(QStringLiteral(";;"));
}

QString withExtension(const QString& path, const QString& extension) {
    if (extension.isEmpty() || path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    const QString suffix = QLatin1Char('.') + extension;
    return path.endsWith(suffix, Qt::CaseInsensitive) ? path : path + suffix;
}

TSaveDialog::TSaveDialog(const QString& name, QString defaultExt, QString filter, QObject* parent)
    : QObject(parent), FDefaultExt(std::move(defaultExt)), FFilter(std::move(filter)) {
    setObjectName(name);
}

bool TSaveDialog::Execute(QWidget* parent) {
    const auto chosen =
        platform().saveFileName(parent, {objectName(), FFileName, FDefaultExt, qtFilter(FFilter)});
    if (!chosen)
        return false;
    FFileName = withExtension(*chosen, FDefaultExt);
    return true;
}

TOpenDialog::TOpenDialog(const QString& name, QString filter, QObject* parent)
    : QObject(parent), FFilter(std::move(filter)) {
    setObjectName(name);
}

bool TOpenDialog::Execute(QWidget* parent) {
    const auto chosen = platform().openFileName(parent, {objectName(), qtFilter(FFilter)});
    if (!chosen)
        return false;
    FFileName = *chosen;
    return true;
}

TColorDialog::TColorDialog(const QString& name, QObject* parent) : QObject(parent) {
    setObjectName(name);
    // Empty custom slots show as white, as the platform's dialog shows an unset slot.
    FCustomColors.fill(QColor(Qt::white));
}

bool TColorDialog::Execute(QWidget* parent) {
    const auto chosen = platform().color(parent, {objectName(), FColor, &FCustomColors});
    if (!chosen)
        return false;
    FColor = *chosen;
    return true;
}

} // namespace lumo
