#pragma once

#include <QString>

// The user's own folder for program data that should follow the user (the roaming
// application data on Windows, $XDG_DATA_HOME elsewhere). Not created here.
QString ApplicationDataFolder();

// A window's layout file: "ui.ini" in the folder named by the caption under dataFolder, or
// "<caption>_ui.ini" in dataFolder itself when that folder can be neither found nor made.
// Creates dataFolder when missing and the caption's folder.
QString LayoutFilePath(const QString& dataFolder, const QString& caption);
