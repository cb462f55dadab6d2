#pragma once

#include "definitions/comportsettings.h"
#include "platform/registry.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <mutex>

// Colours: red in the lowest byte, then green, then blue.
using TColor = quint32;
constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clWhite = 0xFFFFFF;

// Indicator types, the index held in ScaleType.
constexpr int ScaleTypeCount = 16;
constexpr int stWesternDF2500Mode6 = 13;
constexpr int stIQplusCommand = 14;
constexpr int stUserDefined = 15;
// The command that asks a polled indicator type for a reading (plain text); empty for the
// types that send readings by themselves.
QString PollCommandForScaleType(int scaleType);
// The type names in the order of the editor's type list.
const QString& ScaleTypeName(int scaleType); // empty for an index outside 0 to 15

// Where a new record takes its unit system from. The application settings install
// their getter here; until then the locale's default is used.
using TMeasurementSystemSource = std::function<int()>;
void SetMeasurementSystemSource(TMeasurementSystemSource source); // empty: locale default

// One scale definition in memory: port parameters, framing, status characters, colours,
// indicator type and unit system; and the accessor of its store key,
// <root>\Scales\<name>, which stays open from SelectScale to CloseDefinition.
//
// Threads: the record is written on the main thread only, and the store is used on the
// main thread only. The packet capture reads the framing strings on the serial worker
// thread while the editor may change them, so those two are guarded by a lock; every
// other field belongs to the main thread.
class THbScaleSettings : public TRegistry {
public:
    THbScaleSettings();
    ~THbScaleSettings() override; // closes the port settings key, then its own
    THbScaleSettings(const THbScaleSettings&) = delete;
    THbScaleSettings& operator=(const THbScaleSettings&) = delete;

    static QString DefaultScaleName() { return QStringLiteral("Scale1"); }

    // Absolute store path of the selected definition; kept after closing, so that
    // DeleteDefinition still finds it.
    QString KeyPath;

    // The store operations. A name that the store cannot keep as a key name (empty, with
    // a backslash, a control character or a broken character, or longer than 255
    // characters) raises ERegistryException naming the problem; nothing is opened, created
    // or changed then. Otherwise opens the definition's key and its PortSettings key,
    // creating them when missing, and sets ScaleName to name; false when the key could not
    // be created (the first write then fails).
    bool SelectScale(const QString& name);
    // Read-or-seed of every value in the stored order, the port settings after NoOfChars,
    // the derived output mode right after ScaleType. One transaction: an error stops the
    // load at the failing value with the values before it loaded and the later fields as
    // they were, and leaves the store as it was (nothing seeded stays).
    void LoadDefinition();
    // SelectScale, LoadDefinition, and the keys closed again on every path; the load's
    // error is the one that reaches the caller.
    void ReadDefinition(const QString& name);
    // Writes every value and the port settings, as one transaction.
    void SaveDefinition();
    void CloseDefinition() noexcept;
    // Deletes the definition at KeyPath with everything below it, as one transaction;
    // closes the record's keys first. Nothing happens when it does not exist or when no
    // definition was ever selected.
    void DeleteDefinition();
    // Deletes every subkey of KeyPath + "\Parameters"; that key and its values stay.
    void PurgeParameters();

    TColor PixelColourOn = clLime;
    TColor PixelColourOff = clBlack;
    TColor BackgroundColour = clBlack;
    TColor PixelColourError = clRed;
    TColor PixelColourMotion = clWhite;
    QString ScaleName;
    qint32 ScaleType = stUserDefined;
    qint32 NoOfChars = 7;
    // Switches: 0 off, anything else on.
    qint32 IsStartCondAnyData = 0;
    qint32 IsStartCondString = 1;
    qint32 IsEndCondPacketSize = 0;
    qint32 PacketSize = 0;
    qint32 IsEndCondString = 1;
    qint32 IgnoreCase = 1;
    qint32 IncludeStartStop = 1;
    qint32 ShowCtrlChars = 1;
    qint32 CheckMode = 1;
    qint32 CheckMotion = 1;
    qint32 CheckNegative = 1;
    qint32 CheckOverrange = 1;
    qint32 CheckUnit = 1;

    // The seven strings in control-string notation. A setter given malformed notation
    // raises EConvertError and keeps the previous value.
    QString StartString() const;
    void SetStartString(const QString& notation);
    QString EndString() const;
    void SetEndString(const QString& notation);
    QString StringMode() const;
    void SetStringMode(const QString& notation);
    QString StringMotion() const;
    void SetStringMotion(const QString& notation);
    QString StringNegative() const;
    void SetStringNegative(const QString& notation);
    QString StringOverrange() const;
    void SetStringOverrange(const QString& notation);
    QString StringUnit() const;
    void SetStringUnit(const QString& notation);

    // The same strings as plain text, exactly what converting the notation back gives,
    // without the round trip; for the capture and the decoders, which run per packet.
    // The framing pair may be read from any thread.
    QString StartStringPlain() const;
    QString EndStringPlain() const;
    // Both framing strings under one lock, for the per-chunk and per-packet readers.
    struct TFramingStrings {
        QString Start;
        QString End;
    };
    TFramingStrings FramingPlain() const;
    const QString& StringModePlain() const { return FStringMode; }
    const QString& StringMotionPlain() const { return FStringMotion; }
    const QString& StringNegativePlain() const { return FStringNegative; }
    const QString& StringOverrangePlain() const { return FStringOverrange; }
    const QString& StringUnitPlain() const { return FStringUnit; }

    // 0 metric, any other value imperial; held as its decimal text.
    int MeasurementSystem() const;
    void SetMeasurementSystem(int value);

    THbComPortSettings& PortSettings() { return *FPortSettings; }
    const THbComPortSettings& PortSettings() const { return *FPortSettings; }
    int PortNumber() const { return FPortSettings->PortNumber; }
    void SetPortNumber(int value) { FPortSettings->PortNumber = value; }
    int BaudRate() const { return FPortSettings->BaudRate; }
    void SetBaudRate(int value) { FPortSettings->BaudRate = value; }
    int Parity() const { return FPortSettings->Parity; }
    void SetParity(int value) { FPortSettings->Parity = value; }
    int WordLength() const { return FPortSettings->WordLength; }
    void SetWordLength(int value) { FPortSettings->WordLength = value; }
    int StopBits() const { return FPortSettings->StopBits; }
    void SetStopBits(int value) { FPortSettings->StopBits = value; }
    QString TimeOut() const { return FPortSettings->TimeOut; }
    void SetTimeOut(const QString& value) { FPortSettings->TimeOut = value; }

    // Not stored: derived from ScaleType by DeriveOutputMode(), which loading a
    // definition calls right after it has read ScaleType.
    bool IsContinuousOutput() const { return FIsContinuousOutput; }
    QString PollCommand() const { return FPollCommand; } // plain text
    void DeriveOutputMode();

    // Presets per indicator type; an index outside 0 to 15 takes the User Defined row.
    // They leave ScaleType, ScaleName, the colours, NoOfChars, MeasurementSystem,
    // PortNumber and the derived values alone.
    void ApplyPortPreset(int scaleType);
    void ApplyPacketPreset(int scaleType);
    void ApplyTypePreset(int scaleType); // port, then packet

private:
    std::unique_ptr<THbComPortSettings> FPortSettings;
    bool FIsContinuousOutput = true;
    QString FPollCommand;

    mutable std::mutex FFramingLock; // guards FStartString and FEndString
    QString FStartString;
    QString FEndString;
    QString FStringMode;
    QString FStringMotion;
    QString FStringNegative;
    QString FStringOverrange;
    QString FStringUnit;
    QString FMeasurementSystem;
};

// "Scale1", the definition that ListScales makes in an empty store.
QString DefaultScaleName();

// Raises ERegistryException, saying what is wrong and where, unless name can be a
// definition's key name.
void CheckScaleName(const QString& name);

// The text ListScales gives as its only line when the store cannot be opened.
QString ScalesNotAvailableText();

// Fills list with the names of the stored definitions, in the store's order. In a store
// without definitions it first makes DefaultScaleName() from a new record (one
// transaction) and lists that alone; an error while making it propagates and leaves the
// store as it was. When the Scales key cannot be opened (the store file is unusable) the
// list holds the single line ScalesNotAvailableText().
void ListScales(QStringList& list);
