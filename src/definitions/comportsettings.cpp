#include "definitions/comportsettings.h"

THbComPortSettings::~THbComPortSettings()
{
    try {
        ClosePortSettings();
    } catch (...) {
        // Closing only releases the handle; nothing is lost when it fails.
    }
}

bool THbComPortSettings::SelectPortSettings(const QString& definitionKeyPath)
{
    SetRootKey(TRootKey::HKEY_CURRENT_USER);
    KeyPath = definitionKeyPath + QStringLiteral("\\PortSettings");
    return OpenKey(KeyPath, true);
}

namespace {

void LoadOrSeed(TRegistry& key, const QString& name, int& field)
{
    if (key.ValueExists(name))
        field = key.ReadInteger(name);
    else
        key.WriteInteger(name, field);
}

void LoadOrSeed(TRegistry& key, const QString& name, QString& field)
{
    if (key.ValueExists(name))
        field = key.ReadString(name);
    else
        key.WriteString(name, field);
}

} // namespace

void THbComPortSettings::LoadPortSettings()
{
    TTransaction transaction(*this);
    LoadOrSeed(*this, QStringLiteral("PortNumber"), PortNumber);
    LoadOrSeed(*this, QStringLiteral("BaudRate"), BaudRate);
    LoadOrSeed(*this, QStringLiteral("Parity"), Parity);
    LoadOrSeed(*this, QStringLiteral("WordLength"), WordLength);
    LoadOrSeed(*this, QStringLiteral("StopBits"), StopBits);
    LoadOrSeed(*this, QStringLiteral("TimeOut"), TimeOut);
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

void THbComPortSettings::ClosePortSettings()
{
    CloseKey();
}
