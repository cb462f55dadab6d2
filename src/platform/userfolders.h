#pragma once

#include <QString>

// The user's own folder for program data that should follow the user (the roaming
// application data on Windows, $XDG_DATA_HOME elsewhere). Not created here.
QString ApplicationDataFolder();
