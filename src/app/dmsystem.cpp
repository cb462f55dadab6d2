#include "app/dmsystem.h"

#include "frame/regionalformats.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

TDMSystem::TDMSystem()
{
    FApplicationSettings.ReadApplicationSettings();
    InstallApplicationSettings(FApplicationSettings);
    SetRegionalFormats();
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

TDMSystem::~TDMSystem() = default;

void TDMSystem::SetRegionalFormats()
{
    ::SetRegionalFormats();
}

void TDMSystem::ApplicationEvents1SettingChange(int flag, const QString& section)
{
    if (flag == 0 && section == QLatin1String("intl"))
        SetRegionalFormats();
    if (FRefreshPrinterList)
        FRefreshPrinterList();
}

void TDMSystem::SetPrinterListRefresher(TPrinterListRefresher refresher)
{
    FRefreshPrinterList = std::move(refresher);
}

bool TDMSystem::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::LocaleChange && watched == QCoreApplication::instance()) {
        // As the platform does on a locale change: the locale's values come back first.
        LoadLocaleFormats();
        ApplicationEvents1SettingChange(0, QStringLiteral("intl"));
    }
    return QObject::eventFilter(watched, event);
}
