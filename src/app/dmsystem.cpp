#include "app/dmsystem.h"

TDMSystem::TDMSystem()
{
    FApplicationSettings.OpenMainWindowKey();
    try {
        FApplicationSettings.LoadApplicationSettings();
    } catch (...) {
        FApplicationSettings.CloseKey();
        throw;
    }
    FApplicationSettings.CloseKey();
    InstallApplicationSettings(FApplicationSettings);
}
