// The scale definition store: one key per definition under <root>\Scales, read with the
// read-or-seed pattern, written whole, each load and save one transaction.
#include "definitions/scalesettings.h"

#include "platform/errors.h"
#include "platform/verhelpers.h"

#include <memory>

namespace {

QString Hex(char16_t code)
{
    return QStringLiteral("U+")
           + QStringLiteral("%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

// A scale name is one key name: a backslash would address a nested key, an empty name the
// Scales key itself. The rules are the store's own (TRegistry::KeyNameProblem), so every
// name that ListScales gives can be selected again; the messages add where the fault is.
void CheckScaleName(const QString& name)
{
    constexpr qsizetype MaxKeyNameLength = TRegistry::MaxKeyNameLength;
    if (name.isEmpty())
        throw ERegistryException(QStringLiteral("A scale name cannot be empty."));
    if (name.contains(QLatin1Char('\\'))) {
        throw ERegistryException(
            QStringLiteral("The scale name \"%1\" cannot contain a backslash.").arg(name));
    }
    if (name.size() > MaxKeyNameLength) {
        throw ERegistryException(
            QStringLiteral("The scale name \"%1...\" is %2 characters long; a scale name can "
                           "have at most %3.")
                .arg(name.left(20), QString::number(name.size()),
                     QString::number(MaxKeyNameLength)));
    }
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const QString position = QString::number(i + 1);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) {
            throw ERegistryException(
                QStringLiteral("The scale name holds an incomplete character (%1) at position "
                               "%2, which cannot be stored.")
                    .arg(Hex(c.unicode()), position));
        }
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            throw ERegistryException(
                QStringLiteral("The scale name cannot contain the control character %1 "
                               "(position %2).")
                    .arg(Hex(c.unicode()), position));
        }
    }
    const QString problem = TRegistry::KeyNameProblem(name);
    if (!problem.isEmpty()) {
        throw ERegistryException(
            QStringLiteral("The scale name \"%1\" cannot be used: %2.").arg(name, problem));
    }
}

namespace {

QString ScalesKeyPath()
{
    return RegistryKeyPath(QStringLiteral("Scales"));
}

QString KeyName(const QString& keyPath)
{
    return keyPath.section(QLatin1Char('\\'), -1);
}

// The read-or-seed steps of LoadDefinition, one per kind of field.
class TLoader {
public:
    explicit TLoader(THbScaleSettings& record) : FRecord(record) {}

    void Integer(const QString& name, qint32& field) { FRecord.ReadOrSeedInteger(name, field); }

    // Colours are full 32-bit patterns; system colours have the top bit set.
    void Colour(const QString& name, TColor& field)
    {
        auto stored = static_cast<qint32>(field);
        FRecord.ReadOrSeedInteger(name, stored);
        field = static_cast<TColor>(stored);
    }

    void Text(const QString& name, QString& field) { FRecord.ReadOrSeedString(name, field); }

    // Stored in notation; the setter turns it into plain text and refuses malformed notation.
    void Notation(const QString& name, QString (THbScaleSettings::*get)() const,
                  void (THbScaleSettings::*set)(const QString&))
    {
        if (!FRecord.ValueExists(name)) {
            FRecord.WriteString(name, (FRecord.*get)());
            return;
        }
        const QString stored = FRecord.ReadString(name);
        try {
            (FRecord.*set)(stored);
        } catch (const EConvertError& error) {
            throw EConvertError(
                QStringLiteral("The value %1 of the scale definition \"%2\" holds \"%3\", which "
                               "is not valid control-string notation: %4")
                    .arg(name, KeyName(FRecord.KeyPath), stored, error.Message()));
        }
    }

    void MeasurementSystem()
    {
        const QString name = QStringLiteral("MeasurementSystem");
        if (!FRecord.ValueExists(name)) {
            FRecord.WriteString(name, QString::number(FRecord.MeasurementSystem()));
            return;
        }
        const QString stored = FRecord.ReadString(name);
        bool ok = false;
        const int value = stored.toInt(&ok, 10);
        if (!ok) {
            throw EConvertError(
                QStringLiteral("The value %1 of the scale definition \"%2\" holds \"%3\", which "
                               "is not a whole number.")
                    .arg(name, KeyName(FRecord.KeyPath), stored));
        }
        FRecord.SetMeasurementSystem(value);
    }

private:
    THbScaleSettings& FRecord;
};

} // namespace

THbScaleSettings::~THbScaleSettings()
{
    CloseDefinition();
}

bool THbScaleSettings::SelectScale(const QString& name)
{
    CheckScaleName(name);
    // Whatever was open before belongs to another definition; on failure nothing is open.
    CloseDefinition();
    SetRootKey(TRootKey::HKEY_CURRENT_USER);
    KeyPath = ScalesKeyPath() + QLatin1Char('\\') + name;
    ScaleName = name;
    if (!OpenKey(KeyPath, true))
        return false;
    FPortSettings->SelectPortSettings(KeyPath);
    return true;
}

void THbScaleSettings::LoadDefinition()
{
    TTransaction transaction(*this);
    TLoader load(*this);
    load.Text(QStringLiteral("ScaleName"), ScaleName);
    load.Integer(QStringLiteral("ScaleType"), ScaleType);
    DeriveOutputMode();
    load.Colour(QStringLiteral("PixelColourOn"), PixelColourOn);
    load.Colour(QStringLiteral("PixelColourOff"), PixelColourOff);
    load.Colour(QStringLiteral("BackgroundColour"), BackgroundColour);
    load.Colour(QStringLiteral("PixelColourError"), PixelColourError);
    load.Colour(QStringLiteral("PixelColourMotion"), PixelColourMotion);
    load.Integer(QStringLiteral("NoOfChars"), NoOfChars);
    FPortSettings->LoadPortSettings();
    load.Integer(QStringLiteral("IsStartCondAnyData"), IsStartCondAnyData);
    load.Integer(QStringLiteral("IsStartCondString"), IsStartCondString);
    load.Notation(QStringLiteral("StartString"), &THbScaleSettings::StartString,
                  &THbScaleSettings::SetStartString);
    load.Integer(QStringLiteral("IsEndCondPacketSize"), IsEndCondPacketSize);
    load.Integer(QStringLiteral("PacketSize"), PacketSize);
    load.Integer(QStringLiteral("IsEndCondString"), IsEndCondString);
    load.Notation(QStringLiteral("EndString"), &THbScaleSettings::EndString,
                  &THbScaleSettings::SetEndString);
    load.Integer(QStringLiteral("IgnoreCase"), IgnoreCase);
    load.Integer(QStringLiteral("IncludeStartStop"), IncludeStartStop);
    load.Integer(QStringLiteral("ShowCtrlChars"), ShowCtrlChars);
    load.Integer(QStringLiteral("CheckMode"), CheckMode);
    load.Integer(QStringLiteral("CheckMotion"), CheckMotion);
    load.Integer(QStringLiteral("CheckNegative"), CheckNegative);
    load.Integer(QStringLiteral("CheckOverrange"), CheckOverrange);
    load.Integer(QStringLiteral("CheckUnit"), CheckUnit);
    load.Notation(QStringLiteral("StringMode"), &THbScaleSettings::StringMode,
                  &THbScaleSettings::SetStringMode);
    load.Notation(QStringLiteral("StringMotion"), &THbScaleSettings::StringMotion,
                  &THbScaleSettings::SetStringMotion);
    load.Notation(QStringLiteral("StringNegative"), &THbScaleSettings::StringNegative,
                  &THbScaleSettings::SetStringNegative);
    load.Notation(QStringLiteral("StringOverrange"), &THbScaleSettings::StringOverrange,
                  &THbScaleSettings::SetStringOverrange);
    load.MeasurementSystem();
    load.Notation(QStringLiteral("StringUnit"), &THbScaleSettings::StringUnit,
                  &THbScaleSettings::SetStringUnit);
    transaction.Commit();
}

void THbScaleSettings::SaveDefinition()
{
    TTransaction transaction(*this);
    WriteString(QStringLiteral("ScaleName"), ScaleName);
    WriteInteger(QStringLiteral("ScaleType"), ScaleType);
    WriteInteger(QStringLiteral("PixelColourOn"), static_cast<qint32>(PixelColourOn));
    WriteInteger(QStringLiteral("PixelColourOff"), static_cast<qint32>(PixelColourOff));
    WriteInteger(QStringLiteral("BackgroundColour"), static_cast<qint32>(BackgroundColour));
    WriteInteger(QStringLiteral("PixelColourError"), static_cast<qint32>(PixelColourError));
    WriteInteger(QStringLiteral("PixelColourMotion"), static_cast<qint32>(PixelColourMotion));
    WriteInteger(QStringLiteral("NoOfChars"), NoOfChars);
    WriteInteger(QStringLiteral("IsStartCondAnyData"), IsStartCondAnyData);
    WriteInteger(QStringLiteral("IsStartCondString"), IsStartCondString);
    WriteString(QStringLiteral("StartString"), StartString());
    WriteInteger(QStringLiteral("IsEndCondPacketSize"), IsEndCondPacketSize);
    WriteInteger(QStringLiteral("PacketSize"), PacketSize);
    WriteInteger(QStringLiteral("IsEndCondString"), IsEndCondString);
    WriteString(QStringLiteral("EndString"), EndString());
    WriteInteger(QStringLiteral("IgnoreCase"), IgnoreCase);
    WriteInteger(QStringLiteral("IncludeStartStop"), IncludeStartStop);
    WriteInteger(QStringLiteral("ShowCtrlChars"), ShowCtrlChars);
    WriteInteger(QStringLiteral("CheckMode"), CheckMode);
    WriteInteger(QStringLiteral("CheckMotion"), CheckMotion);
    WriteInteger(QStringLiteral("CheckNegative"), CheckNegative);
    WriteInteger(QStringLiteral("CheckOverrange"), CheckOverrange);
    WriteInteger(QStringLiteral("CheckUnit"), CheckUnit);
    WriteString(QStringLiteral("StringMode"), StringMode());
    WriteString(QStringLiteral("StringMotion"), StringMotion());
    WriteString(QStringLiteral("StringNegative"), StringNegative());
    WriteString(QStringLiteral("StringOverrange"), StringOverrange());
    WriteString(QStringLiteral("StringUnit"), StringUnit());
    WriteString(QStringLiteral("MeasurementSystem"), QString::number(MeasurementSystem()));
    FPortSettings->SavePortSettings();
    transaction.Commit();
}

void THbScaleSettings::ReadDefinition(const QString& name)
{
    try {
        SelectScale(name);
        LoadDefinition();
    } catch (...) {
        CloseDefinition();
        throw;
    }
    CloseDefinition();
}

void THbScaleSettings::CloseDefinition() noexcept
{
    FPortSettings->ClosePortSettings();
    CloseKey();
}

void THbScaleSettings::DeleteDefinition()
{
    // A record that never selected a definition has no KeyPath; an empty path would
    // address the root of the store.
    if (KeyPath.isEmpty())
        return;
    TTransaction transaction(*this);
    if (!KeyExists(KeyPath))
        return;
    // The handles would point at deleted keys.
    CloseDefinition();
    // This definition's own subkey, even when the port settings last selected another.
    const QString portSettings = KeyPath + QStringLiteral("\\PortSettings");
    if (KeyExists(portSettings))
        DeleteKey(portSettings);
    PurgeParameters();
    DeleteKey(KeyPath);
    transaction.Commit();
}

void THbScaleSettings::PurgeParameters()
{
    if (KeyPath.isEmpty())
        return;
    const QString parameters = KeyPath + QStringLiteral("\\Parameters");
    if (!KeyExists(parameters))
        return;
    // A separate accessor, so the record's own open key stays as it is.
    TRegistry registry;
    registry.SetRootKey(TRootKey::HKEY_CURRENT_USER);
    TTransaction transaction(registry);
    if (!registry.OpenKey(parameters, false))
        return;
    if (registry.HasSubKeys()) {
        const QStringList names = registry.GetKeyNames();
        registry.CloseKey();
        for (const QString& name : names)
            registry.DeleteKey(parameters + QLatin1Char('\\') + name);
    }
    transaction.Commit();
}

QString DefaultScaleName()
{
    return THbScaleSettings::DefaultScaleName();
}

QString ScalesNotAvailableText()
{
    return QStringLiteral("Scales not available");
}

void ListScales(QStringList& list)
{
    list.clear();
    const QString scales = ScalesKeyPath();
    // Reading needs no transaction, whose write lock would wait for every other writer.
    try {
        TRegistry reader;
        reader.SetRootKey(TRootKey::HKEY_CURRENT_USER);
        if (reader.OpenKey(scales, false) && reader.HasSubKeys()) {
            list = reader.GetKeyNames();
            reader.CloseKey();
            return;
        }
    } catch (const ERegistryException&) {
        // An unusable store file: the list says so; the file is left as it is.
        list = QStringList{ScalesNotAvailableText()};
        return;
    }

    // No definitions: the Scales key and the default definition are made as one transaction.
    std::unique_ptr<TRegistry> registry;
    std::unique_ptr<TRegistry::TTransaction> transaction; // goes before the accessor
    try {
        registry = std::make_unique<TRegistry>();
        registry->SetRootKey(TRootKey::HKEY_CURRENT_USER);
        transaction = std::make_unique<TRegistry::TTransaction>(*registry);
        if (!registry->OpenKey(scales, true)) {
            list = QStringList{ScalesNotAvailableText()};
            return;
        }
        // Another program may have stored definitions since the first look.
        if (registry->HasSubKeys()) {
            list = registry->GetKeyNames();
            registry->CloseKey();
            transaction->Commit();
            return;
        }
    } catch (const ERegistryException&) {
        list = QStringList{ScalesNotAvailableText()};
        return;
    }

    // Errors from here on propagate; the transaction takes the Scales key back with them.
    THbScaleSettings record;
    record.ReadDefinition(DefaultScaleName());
    registry->CloseKey();
    transaction->Commit();
    list.append(DefaultScaleName());
}
