#include "definitions/scalesettings.h"

#include "platform/localeinfo.h"
#include "scale/packethelpers.h"

#include <array>
#include <utility>

namespace {

std::mutex SourceLock;
TMeasurementSystemSource& Source()
{
    static TMeasurementSystemSource source;
    return source;
}

int StartingMeasurementSystem()
{
    TMeasurementSystemSource source;
    {
        std::lock_guard lock(SourceLock);
        source = Source();
    }
    // Called outside the lock: the application settings reload their store here.
    return source ? source() : DefaultMeasurementSystem();
}

} // namespace

const QString& ScaleTypeName(int scaleType)
{
    static const std::array<QString, ScaleTypeCount> names = {
        QStringLiteral("AD-432x"),
        QStringLiteral("Analogic"),
        QStringLiteral("Astec"),
        QStringLiteral("Cardinal"),
        QStringLiteral("Condec"),
        QStringLiteral("HBDI-10x"),
        QStringLiteral("Custom"),
        QStringLiteral("GSE"),
        QStringLiteral("IQplus"),
        QStringLiteral("Toledo"),
        QStringLiteral("Weigh-tronix"),
        QStringLiteral("Western (DF1000)"),
        QStringLiteral("Western (DF2000)"),
        QStringLiteral("Western (DF2500 Mode 6)"),
        QStringLiteral("IQplus (Command)"),
        QStringLiteral("User Defined"),
    };
    static const QString none;
    if (scaleType < 0 || scaleType >= ScaleTypeCount)
        return none;
    return names[static_cast<std::size_t>(scaleType)];
}

void SetMeasurementSystemSource(TMeasurementSystemSource source)
{
    std::lock_guard lock(SourceLock);
    Source() = std::move(source);
}

THbScaleSettings::THbScaleSettings()
    : FPortSettings(std::make_unique<THbComPortSettings>())
{
    // The colours, NoOfChars, ScaleType and the derived output mode start at their member
    // initialisers; the preset leaves them alone.
    ScaleName = DefaultScaleName();
    ApplyTypePreset(stUserDefined);
    // A new record checks every status although the preset left the strings empty.
    CheckMode = 1;
    CheckMotion = 1;
    CheckNegative = 1;
    CheckOverrange = 1;
    CheckUnit = 1;
    SetMeasurementSystem(StartingMeasurementSystem());
}

QString THbScaleSettings::StartString() const { return StrToCtrlStr(StartStringPlain()); }

void THbScaleSettings::SetStartString(const QString& notation)
{
    QString plain = CtrlStrToStr(notation);
    {
        std::lock_guard lock(FFramingLock);
        FStartString.swap(plain);
    }
    // The old text is released here, outside the lock.
}

QString THbScaleSettings::EndString() const { return StrToCtrlStr(EndStringPlain()); }

void THbScaleSettings::SetEndString(const QString& notation)
{
    QString plain = CtrlStrToStr(notation);
    {
        std::lock_guard lock(FFramingLock);
        FEndString.swap(plain);
    }
}

QString THbScaleSettings::StartStringPlain() const
{
    std::lock_guard lock(FFramingLock);
    return FStartString;
}

QString THbScaleSettings::EndStringPlain() const
{
    std::lock_guard lock(FFramingLock);
    return FEndString;
}

THbScaleSettings::TFramingStrings THbScaleSettings::FramingPlain() const
{
    std::lock_guard lock(FFramingLock);
    return {FStartString, FEndString};
}

QString THbScaleSettings::StringMode() const { return StrToCtrlStr(FStringMode); }
void THbScaleSettings::SetStringMode(const QString& notation) { FStringMode = CtrlStrToStr(notation); }

QString THbScaleSettings::StringMotion() const { return StrToCtrlStr(FStringMotion); }
void THbScaleSettings::SetStringMotion(const QString& notation)
{
    FStringMotion = CtrlStrToStr(notation);
}

QString THbScaleSettings::StringNegative() const { return StrToCtrlStr(FStringNegative); }
void THbScaleSettings::SetStringNegative(const QString& notation)
{
    FStringNegative = CtrlStrToStr(notation);
}

QString THbScaleSettings::StringOverrange() const { return StrToCtrlStr(FStringOverrange); }
void THbScaleSettings::SetStringOverrange(const QString& notation)
{
    FStringOverrange = CtrlStrToStr(notation);
}

QString THbScaleSettings::StringUnit() const { return StrToCtrlStr(FStringUnit); }
void THbScaleSettings::SetStringUnit(const QString& notation) { FStringUnit = CtrlStrToStr(notation); }

// The setter only ever stores the decimal form of an int, so the parse cannot fail;
// before construction has set it the empty text reads as 0.
int THbScaleSettings::MeasurementSystem() const { return FMeasurementSystem.toInt(); }

void THbScaleSettings::SetMeasurementSystem(int value)
{
    FMeasurementSystem = QString::number(value);
}

QString PollCommandForScaleType(int scaleType)
{
    switch (scaleType) {
    case stWesternDF2500Mode6:
        return QStringLiteral("\x02?\r");
    case stIQplusCommand:
        return QStringLiteral("XG\r");
    default:
        return {};
    }
}

void THbScaleSettings::DeriveOutputMode()
{
    const QString command = PollCommandForScaleType(ScaleType);
    FIsContinuousOutput = command.isEmpty();
    // A continuous type keeps the poll command it had; nothing sends it.
    if (!FIsContinuousOutput)
        FPollCommand = command;
}
