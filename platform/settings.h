#pragma once

// The program's own settings file in the user's configuration folder: the documents opened
// last and the folder each file dialog was left in. Qt's dialogs keep theirs elsewhere.

#include <QString>
#include <QStringList>
#include <QVariant>

namespace lumo {

class Settings {
public:
    static constexpr int kRecentCount = 8;

    // The settings file, in the user's configuration folder.
    static QString path();

    // The documents opened or saved last, newest first.
    static QStringList recentDocuments();
    static void addRecentDocument(const QString& path);
    static void removeRecentDocument(const QString& path);

    // The folder the dialog named `dialogName` was last confirmed in; empty when none.
    static QString lastFolder(const QString& dialogName);
    static void setLastFolder(const QString& dialogName, const QString& folder);

    // A choice a dialog remembers, under "group/key"; `fallback` when none is stored.
    static QVariant choice(const QString& key, const QVariant& fallback);
    static void setChoice(const QString& key, const QVariant& value);
};

} // namespace lumo
