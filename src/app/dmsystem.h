#pragma once

#include "frame/registryvalues.h"

#include <QObject>
#include <QString>

#include <functional>

class QEvent;

// The program-wide data: creates and loads the application settings and makes every scale
// definition record take its measurement system from them; fixes the process-wide date and
// time formats and keeps them fixed when the user's locale changes. Lives as long as the
// program, made before the main window and destroyed after it. Main thread only.
class TDMSystem : public QObject {
    Q_OBJECT

public:
    using TPrinterListRefresher = std::function<void()>;

    // Raises the store's error when the settings can be neither read nor created.
    TDMSystem();
    TDMSystem(const TDMSystem&) = delete;
    TDMSystem& operator=(const TDMSystem&) = delete;
    ~TDMSystem() override;

    THbApplicationSettings& ApplicationSettings() { return FApplicationSettings; }

    void SetRegionalFormats();

    // A system setting has changed. Section "intl" with flag 0 means the platform has just
    // read the user's locale again, over the program's formats, so they are set once more.
    void ApplicationEvents1SettingChange(int flag, const QString& section);

    // Called on every setting change so the next ticket sees printers added, removed or
    // made default. Empty by default: Qt's print support asks the print system afresh on
    // every query, so there is no list of ours to refresh.
    void SetPrinterListRefresher(TPrinterListRefresher refresher);

protected:
    // The application's locale change is the setting-change notification here.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    THbApplicationSettings FApplicationSettings;
    TPrinterListRefresher FRefreshPrinterList;
};
