#pragma once

#include <QString>

namespace lumo {

// Qt's own dialogs would remember folders and custom colours in the user's settings, while
// the program keeps nothing of theirs between runs. Their settings go instead to one folder
// of the user's own (qt-dialogs in the cache folder, private to the user), emptied at each
// start. Settings opened with an explicit file path are not affected. Returns the folder,
// empty when the user has no cache folder. Call once, after the application is named.
QString keepDialogSettingsPerRun();

} // namespace lumo
