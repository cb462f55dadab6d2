#include "frame/registryvalues.h"

#include "definitions/scalesettings.h"
#include "frame/winhelpers.h"
#include "platform/errors.h"
#include "platform/verhelpers.h"

#include <optional>

namespace {

THbApplicationSettings* InstalledSettings = nullptr;

std::optional<int> ParseWholeNumber(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

THbApplicationSettings::THbApplicationSettings()
{
    FillDefaults();
}

THbApplicationSettings::THbApplicationSettings(const QString& storeFile)
    : TRegistry(storeFile)
{
    FillDefaults();
}

THbApplicationSettings::~THbApplicationSettings()
{
    if (InstalledSettings == this) {
        SetMeasurementSystemSource({});
        InstalledSettings = nullptr;
    }
}

void THbApplicationSettings::FillDefaults()
{
    Country = UserLanguageName();
    BuildLocaleList();
    // No installed locale with the user's language name: keep the pseudo-identifier of the
    // user's default locale, which still leads to the right locale wherever it is used.
    LCID = FindLocaleId(Country).value_or(static_cast<quint16>(LOCALE_USER_DEFAULT));
    SetMeasurementSystem(DefaultMeasurementSystem());
}

int THbApplicationSettings::MeasurementSystem() const
{
    return ParseWholeNumber(FMeasurementSystem).value_or(DefaultMeasurementSystem());
}

void THbApplicationSettings::SetMeasurementSystem(int value)
{
    FMeasurementSystem = QString::number(value);
}

void THbApplicationSettings::OpenMainWindowKey()
{
    SetRootKey(TRootKey::HKEY_CURRENT_USER);
    KeyPath = RegistryKeyPath(QStringLiteral("MainWindow"));
    if (!OpenKey(KeyPath, true)) {
        throw ERegistryException(
            QStringLiteral("The settings key HKEY_CURRENT_USER%1 could not be opened or created.")
                .arg(KeyPath));
    }
}

void THbApplicationSettings::LoadApplicationSettings()
{
    TTransaction transaction(*this);
    ReadOrSeedString(QStringLiteral("SortOrder"), SortOrder);
    ReadOrSeedString(QStringLiteral("ShowToolTips"), ShowToolTips);
    // An old value nothing uses any more.
    if (ValueExists(QStringLiteral("PreviewTickets")))
        DeleteValue(QStringLiteral("PreviewTickets"));
    ReadOrSeedString(QStringLiteral("CurrentScale"), CurrentScale);
    ReadOrSeedString(QStringLiteral("DefaultCompany"), DefaultCompany);
    ReadOrSeedString(QStringLiteral("Version"), Version);
    ReadOrSeedString(QStringLiteral("Country"), Country);
    ReadOrSeedInteger(QStringLiteral("LCID"), LCID);
    if (ValueExists(QStringLiteral("MeasurementSystem"))) {
        FMeasurementSystem = ReadString(QStringLiteral("MeasurementSystem"));
        const std::optional<int> value = ParseWholeNumber(FMeasurementSystem);
        if (!value) {
            throw EConvertError(
                QStringLiteral("The setting MeasurementSystem under HKEY_CURRENT_USER%1 holds "
                               "\"%2\", which is not a whole number. Set it to 0 (metric) or 1 "
                               "(imperial), or delete it to take the locale's default.")
                    .arg(KeyPath, FMeasurementSystem));
        }
        SetMeasurementSystem(*value);
    } else {
        WriteString(QStringLiteral("MeasurementSystem"), QString::number(MeasurementSystem()));
    }
    transaction.Commit();
}

void THbApplicationSettings::ReadApplicationSettings()
{
    OpenMainWindowKey();
    try {
        LoadApplicationSettings();
    } catch (...) {
        CloseKey();
        throw;
    }
    CloseKey();
}

void InstallApplicationSettings(THbApplicationSettings& settings)
{
    InstalledSettings = &settings;
    SetMeasurementSystemSource([&settings] {
        settings.ReadApplicationSettings();
        return settings.MeasurementSystem();
    });
}
