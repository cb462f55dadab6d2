#include "definitions/comportsettings.h"

THbComPortSettings::~THbComPortSettings()
{
    ClosePortSettings();
}

bool THbComPortSettings::SelectPortSettings(const QString& definitionKeyPath)
{
    SetRootKey(TRootKey::HKEY_CURRENT_USER);
    KeyPath = definitionKeyPath + QStringLiteral("\\PortSettings");
    return OpenKey(KeyPath, true);
}

void THbComPortSettings::LoadPortSettings()
{
    TTransaction transaction(*this);
    ReadOrSeedInteger(QStringLiteral("PortNumber"), PortNumber);
    ReadOrSeedInteger(QStringLiteral("BaudRate"), BaudRate);
    ReadOrSeedInteger(QStringLiteral("Parity"), Parity);
    ReadOrSeedInteger(QStringLiteral("WordLength"), WordLength);
    ReadOrSeedInteger(QStringLiteral("StopBits"), StopBits);
    ReadOrSeedString(QStringLiteral("TimeOut"), TimeOut);
    transaction.Commit();
}

void THbComPortSettings::SavePortSettings()
{
    TTransaction transaction(*this);
    WriteInteger(QStringLiteral("PortNumber"), PortNumber);
    WriteInteger(QStringLiteral("BaudRate"), BaudRate);
    WriteInteger(QStringLiteral("Parity"), Parity);
    WriteInteger(QStringLiteral("WordLength"), WordLength);
    WriteInteger(QStringLiteral("StopBits"), StopBits);
    WriteString(QStringLiteral("TimeOut"), TimeOut);
    transaction.Commit();
}

void THbComPortSettings::ClosePortSettings() noexcept
{
    CloseKey();
}
