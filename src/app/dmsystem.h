#pragma once

#include "frame/registryvalues.h"

// The program-wide data: creates and loads the application settings and makes every scale
// definition record take its measurement system from them. Lives as long as the program,
// made before the main window and destroyed after it.
class TDMSystem {
public:
    // Raises the store's error when the settings can be neither read nor created.
    TDMSystem();
    TDMSystem(const TDMSystem&) = delete;
    TDMSystem& operator=(const TDMSystem&) = delete;

    THbApplicationSettings& ApplicationSettings() { return FApplicationSettings; }

private:
    THbApplicationSettings FApplicationSettings;
};
