#include "support/testmain.h"

#include "definitions/scalesettings.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/verhelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QVariant>

#include <cstdlib>
#include <utility>

namespace {

QString ScalesPath() { return RegistryRootPath() + QStringLiteral("\\Scales"); }
QString DefinitionPath(const QString& name) { return ScalesPath() + QLatin1Char('\\') + name; }

// Every value below a key, one line per key ("<path>|") and per value
// ("<path>|<name>=<type>:<value>"), paths relative to the given key, sorted.
void CollectKey(TRegistry& registry, const QString& path, const QString& relative,
                QStringList& out)
{
    if (!registry.OpenKey(path, false))
        return;
    out << relative + QLatin1Char('|');
    for (const QString& name : registry.GetValueNames()) {
        QString value;
        switch (registry.GetDataType(name)) {
        case TRegDataType::rdInteger:
            value = QStringLiteral("dword:") + QString::number(registry.ReadInteger(name));
            break;
        case TRegDataType::rdString:
            value = QStringLiteral("sz:") + registry.ReadString(name);
            break;
        case TRegDataType::rdExpandString:
            value = QStringLiteral("expand_sz:") + registry.ReadString(name);
            break;
        default:
            value = QStringLiteral("unknown");
            break;
        }
        out << relative + QLatin1Char('|') + name + QLatin1Char('=') + value;
    }
    const QStringList subkeys = registry.HasSubKeys() ? registry.GetKeyNames() : QStringList();
    for (const QString& subkey : subkeys) {
        // The root's path is a lone backslash; a doubled one would be an invalid path.
        const QString separator =
            path.endsWith(QLatin1Char('\\')) ? QString() : QStringLiteral("\\");
        CollectKey(registry, path + separator + subkey,
                   relative.isEmpty() ? subkey : relative + QLatin1Char('\\') + subkey, out);
    }
}

QStringList Snapshot(const QString& path)
{
    TRegistry registry;
    QStringList out;
    CollectKey(registry, path, QString(), out);
    out.sort();
    return out;
}

// The whole store. A snapshot that sees nothing would make every comparison pass.
QStringList WholeStore()
{
    const QStringList all = Snapshot(QStringLiteral("\\"));
    if (all.size() < 2)
        qFatal("the snapshot of the whole store is empty");
    return all;
}

bool KeyExists(const QString& path)
{
    TRegistry registry;
    return registry.KeyExists(path);
}

// Replaces one stored value, with the type the variant holds (int: REG_DWORD).
void WriteRaw(const QString& keyPath, const QString& name, const QVariant& value)
{
    TRegistry registry;
    QVERIFY(registry.OpenKey(keyPath, true));
    registry.DeleteValue(name);
    if (value.typeId() == QMetaType::Int)
        registry.WriteInteger(name, value.toInt());
    else
        registry.WriteString(name, value.toString());
}

void DeleteRaw(const QString& keyPath, const QString& name)
{
    TRegistry registry;
    QVERIFY(registry.OpenKey(keyPath, false));
    QVERIFY(registry.DeleteValue(name));
}

void CreateRawKey(const QString& path)
{
    TRegistry registry;
    QVERIFY(registry.CreateKey(path));
}

// Every field of a record as text, in the stored order, the port values after NoOfChars.
using TFieldText = QString (*)(const THbScaleSettings&);
const std::pair<const char*, TFieldText> Fields[] = {
    {"ScaleName", [](const THbScaleSettings& r) { return r.ScaleName; }},
    {"ScaleType", [](const THbScaleSettings& r) { return QString::number(r.ScaleType); }},
    {"PixelColourOn", [](const THbScaleSettings& r) { return QString::number(r.PixelColourOn, 16); }},
    {"PixelColourOff", [](const THbScaleSettings& r) { return QString::number(r.PixelColourOff, 16); }},
    {"BackgroundColour",
     [](const THbScaleSettings& r) { return QString::number(r.BackgroundColour, 16); }},
    {"PixelColourError",
     [](const THbScaleSettings& r) { return QString::number(r.PixelColourError, 16); }},
    {"PixelColourMotion",
     [](const THbScaleSettings& r) { return QString::number(r.PixelColourMotion, 16); }},
    {"NoOfChars", [](const THbScaleSettings& r) { return QString::number(r.NoOfChars); }},
    {"PortNumber", [](const THbScaleSettings& r) { return QString::number(r.PortNumber()); }},
    {"BaudRate", [](const THbScaleSettings& r) { return QString::number(r.BaudRate()); }},
    {"Parity", [](const THbScaleSettings& r) { return QString::number(r.Parity()); }},
    {"WordLength", [](const THbScaleSettings& r) { return QString::number(r.WordLength()); }},
    {"StopBits", [](const THbScaleSettings& r) { return QString::number(r.StopBits()); }},
    {"TimeOut", [](const THbScaleSettings& r) { return r.TimeOut(); }},
    {"IsStartCondAnyData",
     [](const THbScaleSettings& r) { return QString::number(r.IsStartCondAnyData); }},
    {"IsStartCondString",
     [](const THbScaleSettings& r) { return QString::number(r.IsStartCondString); }},
    {"StartString", [](const THbScaleSettings& r) { return r.StartString(); }},
    {"IsEndCondPacketSize",
     [](const THbScaleSettings& r) { return QString::number(r.IsEndCondPacketSize); }},
    {"PacketSize", [](const THbScaleSettings& r) { return QString::number(r.PacketSize); }},
    {"IsEndCondString", [](const THbScaleSettings& r) { return QString::number(r.IsEndCondString); }},
    {"EndString", [](const THbScaleSettings& r) { return r.EndString(); }},
    {"IgnoreCase", [](const THbScaleSettings& r) { return QString::number(r.IgnoreCase); }},
    {"IncludeStartStop",
     [](const THbScaleSettings& r) { return QString::number(r.IncludeStartStop); }},
    {"ShowCtrlChars", [](const THbScaleSettings& r) { return QString::number(r.ShowCtrlChars); }},
    {"CheckMode", [](const THbScaleSettings& r) { return QString::number(r.CheckMode); }},
    {"CheckMotion", [](const THbScaleSettings& r) { return QString::number(r.CheckMotion); }},
    {"CheckNegative", [](const THbScaleSettings& r) { return QString::number(r.CheckNegative); }},
    {"CheckOverrange", [](const THbScaleSettings& r) { return QString::number(r.CheckOverrange); }},
    {"CheckUnit", [](const THbScaleSettings& r) { return QString::number(r.CheckUnit); }},
    {"StringMode", [](const THbScaleSettings& r) { return r.StringMode(); }},
    {"StringMotion", [](const THbScaleSettings& r) { return r.StringMotion(); }},
    {"StringNegative", [](const THbScaleSettings& r) { return r.StringNegative(); }},
    {"StringOverrange", [](const THbScaleSettings& r) { return r.StringOverrange(); }},
    {"MeasurementSystem",
     [](const THbScaleSettings& r) { return QString::number(r.MeasurementSystem()); }},
    {"StringUnit", [](const THbScaleSettings& r) { return r.StringUnit(); }},
};

QString FieldText(const THbScaleSettings& r, const QString& name)
{
    for (const auto& [fieldName, text] : Fields) {
        if (name == QLatin1String(fieldName))
            return text(r);
    }
    qFatal("unknown field %s", qPrintable(name));
}

QStringList AllFields(const THbScaleSettings& r)
{
    QStringList out;
    for (const auto& [name, text] : Fields)
        out << QLatin1String(name) + QLatin1Char('=') + text(r);
    return out;
}

// The unit system the application settings hand to every new record in these tests.
constexpr int StoredUnitSystem = 1;

// Every field away from its new-record value, control characters in the strings.
void FillDistinct(THbScaleSettings& r)
{
    r.ScaleName = QStringLiteral("Stored name");
    r.ScaleType = stWesternDF2500Mode6;
    r.PixelColourOn = 0x123456;
    r.PixelColourOff = 0xFF00000F; // a system colour: the top bit is set
    r.BackgroundColour = 0x010203;
    r.PixelColourError = 0x0000FE;
    r.PixelColourMotion = 0xABCDEF;
    r.NoOfChars = 9;
    r.SetPortNumber(5);
    r.SetBaudRate(2400);
    r.SetParity(2);
    r.SetWordLength(7);
    r.SetStopBits(2);
    r.SetTimeOut(QStringLiteral("250"));
    r.IsStartCondAnyData = 1;
    r.IsStartCondString = 0;
    r.SetStartString(QStringLiteral("^B^C"));
    r.IsEndCondPacketSize = 1;
    r.PacketSize = 17;
    r.IsEndCondString = 0;
    r.SetEndString(QStringLiteral("^M^J"));
    r.IgnoreCase = 0;
    r.IncludeStartStop = 0;
    r.ShowCtrlChars = 0;
    r.CheckMode = 0;
    r.CheckMotion = 0;
    r.CheckNegative = 0;
    r.CheckOverrange = 0;
    r.CheckUnit = 0;
    r.SetStringMode(QStringLiteral("GS"));
    r.SetStringMotion(QStringLiteral("M"));
    r.SetStringNegative(QStringLiteral("-"));
    r.SetStringOverrange(QStringLiteral("OL"));
    r.SetStringUnit(QStringLiteral("kg"));
    r.SetMeasurementSystem(0);
}

void SaveDistinct(const QString& name)
{
    THbScaleSettings r;
    QVERIFY(r.SelectScale(name));
    FillDistinct(r); // after SelectScale, which sets ScaleName to the key's name
    r.SaveDefinition();
    r.CloseDefinition();
}

// The stored values of a new record selected as name, as Snapshot() shows them.
QStringList NewRecordValues(const QString& name, int scaleType, const QStringList& port)
{
    const QStringList definition = {
        QStringLiteral("ScaleName=sz:") + name,
        QStringLiteral("ScaleType=dword:") + QString::number(scaleType),
        QStringLiteral("PixelColourOn=dword:65280"),
        QStringLiteral("PixelColourOff=dword:0"),
        QStringLiteral("BackgroundColour=dword:0"),
        QStringLiteral("PixelColourError=dword:255"),
        QStringLiteral("PixelColourMotion=dword:16777215"),
        QStringLiteral("NoOfChars=dword:7"),
        QStringLiteral("IsStartCondAnyData=dword:0"),
        QStringLiteral("IsStartCondString=dword:1"),
        QStringLiteral("StartString=sz:"),
        QStringLiteral("IsEndCondPacketSize=dword:0"),
        QStringLiteral("PacketSize=dword:0"),
        QStringLiteral("IsEndCondString=dword:1"),
        QStringLiteral("EndString=sz:"),
        QStringLiteral("IgnoreCase=dword:1"),
        QStringLiteral("IncludeStartStop=dword:1"),
        QStringLiteral("ShowCtrlChars=dword:1"),
        QStringLiteral("CheckMode=dword:1"),
        QStringLiteral("CheckMotion=dword:1"),
        QStringLiteral("CheckNegative=dword:1"),
        QStringLiteral("CheckOverrange=dword:1"),
        QStringLiteral("CheckUnit=dword:1"),
        QStringLiteral("StringMode=sz:"),
        QStringLiteral("StringMotion=sz:"),
        QStringLiteral("StringNegative=sz:"),
        QStringLiteral("StringOverrange=sz:"),
        QStringLiteral("MeasurementSystem=sz:") + QString::number(StoredUnitSystem),
        QStringLiteral("StringUnit=sz:"),
    };
    QStringList out = {QStringLiteral("|"), QStringLiteral("PortSettings|")};
    for (const QString& value : definition)
        out << QLatin1Char('|') + value;
    for (const QString& value : port)
        out << QStringLiteral("PortSettings|") + value;
    out.sort();
    return out;
}

// Points the store at another configuration folder for one test.
class TOtherConfigFolder {
public:
    explicit TOtherConfigFolder(const QString& path) : FOld(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", path.toUtf8());
    }
    ~TOtherConfigFolder() { qputenv("XDG_CONFIG_HOME", FOld); }
    TOtherConfigFolder(const TOtherConfigFolder&) = delete;
    TOtherConfigFolder& operator=(const TOtherConfigFolder&) = delete;

private:
    QByteArray FOld;
};

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestScaleStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void listScalesSeedsDefaultInEmptyStore();
    void listScalesListsStoredNames();
    void listScalesSeedFailureLeavesStoreAsItWas();
    void listScalesOnUnusableStore_data();
    void listScalesOnUnusableStore();
    void loadSeedsMissingValues();
    void roundTripOfEveryField();
    void loadFailure_data();
    void loadFailure();
    void failedSaveChangesNothing();
    void writesWithoutSelectedKeyFail();
    void selectScaleRefuses_data();
    void selectScaleRefuses();
    void unusualNamesAreKept_data();
    void unusualNamesAreKept();
    void deleteDefinition_data();
    void deleteDefinition();
    void neverSelectedRecordDeletesNothing();
    void saveThenPurgeParameters();
};

void TestScaleStore::init()
{
    SetMeasurementSystemSource([] { return StoredUnitSystem; });
    TRegistry registry;
    registry.DeleteKey(QStringLiteral("\\Software"));
}

void TestScaleStore::cleanup() { SetMeasurementSystemSource({}); }

void TestScaleStore::listScalesSeedsDefaultInEmptyStore()
{
    QVERIFY(!KeyExists(ScalesPath()));
    QStringList list{QStringLiteral("stale line")};
    ListScales(list);
    QCOMPARE(list, QStringList{QStringLiteral("Scale1")});

    QStringList expected = NewRecordValues(
        QStringLiteral("Scale1"), stUserDefined,
        {QStringLiteral("PortNumber=dword:0"), QStringLiteral("BaudRate=dword:9600"),
         QStringLiteral("Parity=dword:0"), QStringLiteral("WordLength=dword:8"),
         QStringLiteral("StopBits=dword:0"), QStringLiteral("TimeOut=sz:5000")});
    QCOMPARE(Snapshot(DefinitionPath(QStringLiteral("Scale1"))), expected);
    // The Scales key holds nothing but the definition.
    QCOMPARE(Snapshot(ScalesPath()).filter(QRegularExpression(QStringLiteral("^\\|"))),
             QStringList{QStringLiteral("|")});

    // Listing again seeds nothing more.
    const QStringList before = WholeStore();
    ListScales(list);
    QCOMPARE(list, QStringList{QStringLiteral("Scale1")});
    QCOMPARE(WholeStore(), before);
}

void TestScaleStore::listScalesListsStoredNames()
{
    SaveDistinct(QStringLiteral("B"));
    SaveDistinct(QStringLiteral("A"));
    const QStringList before = WholeStore();
    QStringList list;
    ListScales(list);
    QCOMPARE(list, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(WholeStore(), before);
}

// Making the default definition fails (here the application settings cannot be read):
// the error reaches the caller and not even the Scales key stays behind.
void TestScaleStore::listScalesSeedFailureLeavesStoreAsItWas()
{
    SetMeasurementSystemSource(
        []() -> int { throw ERegistryException(QStringLiteral("settings unreadable")); });
    QStringList list;
    QVERIFY_THROWS_EXCEPTION(ERegistryException, ListScales(list));
    QVERIFY(list.isEmpty());
    QVERIFY(!KeyExists(ScalesPath()));
}

// The store file cannot be used: a corrupt file, or a file where the store's folder belongs.
// ListScales says so in its one line and leaves what is there untouched.
void TestScaleStore::listScalesOnUnusableStore_data()
{
    QTest::addColumn<QString>("blockedPath"); // relative to the configuration folder
    QTest::addColumn<QByteArray>("content");

    QByteArray garbage(8192, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 37 + 11) & 0xFF);
    QTest::newRow("corrupt store file") << QStringLiteral("pondrel/registry.db") << garbage;
    QTest::newRow("store folder is a file") << QStringLiteral("pondrel") << QByteArray("not a folder");
}

void TestScaleStore::listScalesOnUnusableStore()
{
    QFETCH(QString, blockedPath);
    QFETCH(QByteArray, content);

    QTemporaryDir config;
    QVERIFY(config.isValid());
    const QString blocked = config.filePath(blockedPath);
    QVERIFY(QDir().mkpath(QFileInfo(blocked).path()));
    {
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

    TOtherConfigFolder other(config.path());
    QStringList list;
    ListScales(list);
    QCOMPARE(list, QStringList{QStringLiteral("Scales not available")});
    QCOMPARE(ReadFile(blocked), content);
}

// A key with only ScaleType 14 and a port key with only BaudRate 2400: the load reads those
// two and writes every other value from the record's fields, a preset's port values included.
void TestScaleStore::loadSeedsMissingValues()
{
    const QString path = DefinitionPath(QStringLiteral("Polled"));
    WriteRaw(path, QStringLiteral("ScaleType"), stIQplusCommand);
    WriteRaw(path + QStringLiteral("\\PortSettings"), QStringLiteral("BaudRate"), 2400);

    THbScaleSettings r;
    r.ApplyPortPreset(3); // Cardinal: 1200 baud, space parity, 7 data bits, 2 stop bits
    QVERIFY(r.SelectScale(QStringLiteral("Polled")));
    r.LoadDefinition();
    r.CloseDefinition();

    QCOMPARE(r.ScaleType, stIQplusCommand);
    QCOMPARE(r.IsContinuousOutput(), false);
    QCOMPARE(r.PollCommand(), QStringLiteral("XG\r"));
    QCOMPARE(r.BaudRate(), 2400);
    QCOMPARE(Snapshot(path),
             NewRecordValues(QStringLiteral("Polled"), stIQplusCommand,
                             {QStringLiteral("PortNumber=dword:0"),
                              QStringLiteral("BaudRate=dword:2400"),
                              QStringLiteral("Parity=dword:4"), QStringLiteral("WordLength=dword:7"),
                              QStringLiteral("StopBits=dword:2"),
                              QStringLiteral("TimeOut=sz:5000")}));
}

void TestScaleStore::roundTripOfEveryField()
{
    SaveDistinct(QStringLiteral("Round"));
    const QString path = DefinitionPath(QStringLiteral("Round"));
    const QStringList stored = Snapshot(path);
    QVERIFY(stored.contains(QStringLiteral("|StartString=sz:^B^C")));
    QVERIFY(stored.contains(QStringLiteral("|PixelColourOff=dword:-16777201")));
    QVERIFY(stored.contains(QStringLiteral("PortSettings|TimeOut=sz:250")));

    THbScaleSettings expected;
    FillDistinct(expected);
    THbScaleSettings r;
    QVERIFY(r.SelectScale(QStringLiteral("Round")));
    r.LoadDefinition();
    QCOMPARE(AllFields(r), AllFields(expected));
    QCOMPARE(r.StartStringPlain(), QStringLiteral("\x02\x03"));
    // The stored ScaleName wins over the key's name; the key path stays.
    QCOMPARE(r.ScaleName, QStringLiteral("Stored name"));
    QVERIFY(r.KeyPath.endsWith(QStringLiteral("\\Scales\\Round")));
    QCOMPARE(r.IsContinuousOutput(), false);
    QCOMPARE(r.PollCommand(), QStringLiteral("\x02?\r"));

    // Saving what was loaded writes the same values back.
    r.SaveDefinition();
    r.CloseDefinition();
    QCOMPARE(Snapshot(path), stored);
}

// A value that cannot be read stops the load there: the values before it are loaded, the
// failing field and the later ones keep what they held, the error names the value, and
// the store is as it was (the value removed beforehand, which the load seeds before it
// fails, is missing again).
void TestScaleStore::loadFailure_data()
{
    QTest::addColumn<QString>("subkey");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("missing"); // removed, before the failing value
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QStringList>("kept");

    const QString definition;
    const QString port = QStringLiteral("PortSettings");
    const auto v = [](const auto& x) { return QVariant(x); };
    using L = QStringList;

    QTest::newRow("ScaleType stored as text")
        << definition << "ScaleType" << v(QStringLiteral("13")) << "ScaleName" << L{}
        << L{"ScaleType", "PixelColourOn", "StringUnit"};
    QTest::newRow("NoOfChars stored as text")
        << definition << "NoOfChars" << v(QStringLiteral("9")) << "PixelColourOff"
        << L{"ScaleName", "PixelColourMotion"} << L{"NoOfChars", "PortNumber", "StartString"};
    QTest::newRow("port BaudRate stored as text")
        << port << "BaudRate" << v(QStringLiteral("2400")) << "PixelColourOn"
        << L{"NoOfChars", "PortNumber"} << L{"BaudRate", "TimeOut", "IsStartCondString"};
    QTest::newRow("port TimeOut stored as integer")
        << port << "TimeOut" << v(250) << "PortNumber" << L{"StopBits"}
        << L{"TimeOut", "IsStartCondAnyData"};
    QTest::newRow("StartString stored as integer")
        << definition << "StartString" << v(2) << "NoOfChars" << L{"IsStartCondString"}
        << L{"StartString", "EndString"};
    QTest::newRow("EndString not notation")
        << definition << "EndString" << v(QStringLiteral("^5")) << "PacketSize"
        << L{"IsEndCondString", "StartString"} << L{"EndString", "IgnoreCase", "StringUnit"};
    QTest::newRow("MeasurementSystem abc")
        << definition << "MeasurementSystem" << v(QStringLiteral("abc")) << "CheckUnit"
        << L{"StringOverrange", "CheckMode"} << L{"MeasurementSystem", "StringUnit"};
    QTest::newRow("MeasurementSystem beyond 32 bits")
        << definition << "MeasurementSystem" << v(QStringLiteral("4294967296")) << "StringMode"
        << L{"StringOverrange"} << L{"MeasurementSystem", "StringUnit"};
    QTest::newRow("MeasurementSystem empty")
        << definition << "MeasurementSystem" << v(QString()) << "StringMode"
        << L{"StringOverrange"} << L{"MeasurementSystem", "StringUnit"};
    QTest::newRow("MeasurementSystem stored as integer")
        << definition << "MeasurementSystem" << v(0) << "StringMode" << L{"StringOverrange"}
        << L{"MeasurementSystem", "StringUnit"};
}

void TestScaleStore::loadFailure()
{
    QFETCH(QString, subkey);
    QFETCH(QString, value);
    QFETCH(QVariant, stored);
    QFETCH(QString, missing);
    QFETCH(QStringList, loaded);
    QFETCH(QStringList, kept);

    SaveDistinct(QStringLiteral("Bad"));
    const QString path = DefinitionPath(QStringLiteral("Bad"));
    const QString valueKey = subkey.isEmpty() ? path : path + QLatin1Char('\\') + subkey;
    WriteRaw(valueKey, value, stored);
    const QStringList portValues = {QStringLiteral("PortNumber"), QStringLiteral("BaudRate"),
                                    QStringLiteral("Parity"), QStringLiteral("WordLength"),
                                    QStringLiteral("StopBits"), QStringLiteral("TimeOut")};
    const bool missingInPort = portValues.contains(missing);
    DeleteRaw(missingInPort ? path + QStringLiteral("\\PortSettings") : path, missing);
    const QStringList before = Snapshot(path);

    THbScaleSettings storedRecord;
    FillDistinct(storedRecord);
    THbScaleSettings r;
    THbScaleSettings old;
    QVERIFY(r.SelectScale(QStringLiteral("Bad")));
    old.ScaleName = r.ScaleName; // SelectScale's own change
    try {
        r.LoadDefinition();
        QFAIL("the load succeeded");
    } catch (const EPondrelError& error) {
        QVERIFY2(error.Message().contains(value), qPrintable(error.Message()));
    }
    for (const QString& field : loaded)
        QCOMPARE(FieldText(r, field), FieldText(storedRecord, field));
    for (const QString& field : kept)
        QCOMPARE(FieldText(r, field), FieldText(old, field));
    r.CloseDefinition();
    QCOMPARE(Snapshot(path), before);
}

// The port settings key went away from under a save: the definition's values written
// before it are taken back.
void TestScaleStore::failedSaveChangesNothing()
{
    SaveDistinct(QStringLiteral("Atomic"));
    const QString path = DefinitionPath(QStringLiteral("Atomic"));
    const QStringList before = Snapshot(path);

    THbScaleSettings r;
    QVERIFY(r.SelectScale(QStringLiteral("Atomic")));
    r.PortSettings().ClosePortSettings();
    try {
        r.SaveDefinition();
        QFAIL("the save succeeded");
    } catch (const ERegistryException& error) {
        QVERIFY2(error.Message().contains(QLatin1String("PortNumber")),
                 qPrintable(error.Message()));
    }
    r.CloseDefinition();
    QCOMPARE(Snapshot(path), before);
}

void TestScaleStore::writesWithoutSelectedKeyFail()
{
    SaveDistinct(QStringLiteral("Other"));
    const QStringList before = WholeStore();
    THbScaleSettings r;
    QVERIFY_THROWS_EXCEPTION(ERegistryException, r.LoadDefinition());
    QVERIFY_THROWS_EXCEPTION(ERegistryException, r.SaveDefinition());
    QCOMPARE(WholeStore(), before);
}

// Names that are not a single storable key name are refused before anything is touched.
void TestScaleStore::selectScaleRefuses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty") << QString() << "A scale name cannot be empty.";
    QTest::newRow("backslash") << "A\\B" << "The scale name \"A\\B\" cannot contain a backslash.";
    QTest::newRow("leading backslash") << "\\Scale1"
                                       << "The scale name \"\\Scale1\" cannot contain a backslash.";
    QTest::newRow("tab") << "A\tB" << "control character U+0009 (position 2)";
    QTest::newRow("NUL") << QString(QStringLiteral("A") + QChar(0)) << "control character U+0000";
    QTest::newRow("DEL") << QString(QChar(0x7F)) << "control character U+007F";
    QTest::newRow("lone surrogate") << QString(QStringLiteral("AB") + QChar(0xD800))
                                    << "incomplete character (U+D800) at position 3";
    QTest::newRow("256 characters") << QString(256, QLatin1Char('x')) << "at most 255";
}

void TestScaleStore::selectScaleRefuses()
{
    QFETCH(QString, name);
    QFETCH(QString, message);

    SaveDistinct(QStringLiteral("Scale1"));
    THbScaleSettings r;
    QVERIFY(r.SelectScale(QStringLiteral("Scale1")));
    const QStringList before = WholeStore();
    const QString keyPath = r.KeyPath;

    try {
        r.SelectScale(name);
        QFAIL("the name was taken");
    } catch (const ERegistryException& error) {
        QVERIFY2(error.Message().contains(message), qPrintable(error.Message()));
    }
    QCOMPARE(r.KeyPath, keyPath);
    QCOMPARE(r.ScaleName, QStringLiteral("Scale1"));
    QCOMPARE(WholeStore(), before);
}

void TestScaleStore::unusualNamesAreKept_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << " Scale 2 ";
    QTest::newRow("accents") << QStringLiteral("Wägebrücke Süd");
    QTest::newRow("outside the BMP") << QStringLiteral("Scale \U0001F69A");
    QTest::newRow("dots") << "..";
    QTest::newRow("255 characters") << QString(255, QLatin1Char('y'));
}

void TestScaleStore::unusualNamesAreKept()
{
    QFETCH(QString, name);
    {
        THbScaleSettings r;
        QVERIFY(r.SelectScale(name));
        r.SaveDefinition();
        r.CloseDefinition();
    }
    QStringList list;
    ListScales(list);
    QCOMPARE(list, QStringList{name});

    THbScaleSettings r;
    r.ScaleName.clear();
    QVERIFY(r.SelectScale(name));
    r.LoadDefinition();
    r.CloseDefinition();
    QCOMPARE(r.ScaleName, name);
    r.DeleteDefinition();
    QVERIFY(!KeyExists(DefinitionPath(name)));
}

void TestScaleStore::deleteDefinition_data()
{
    QTest::addColumn<bool>("keyOpen");
    QTest::newRow("key open") << true;
    QTest::newRow("key closed") << false;
}

void TestScaleStore::deleteDefinition()
{
    QFETCH(bool, keyOpen);

    SaveDistinct(QStringLiteral("A"));
    SaveDistinct(QStringLiteral("B"));
    const QString a = DefinitionPath(QStringLiteral("A"));
    CreateRawKey(a + QStringLiteral("\\Parameters\\P1\\Deep"));
    WriteRaw(a + QStringLiteral("\\Parameters"), QStringLiteral("Kept"), 1);
    const QStringList b = Snapshot(DefinitionPath(QStringLiteral("B")));

    THbScaleSettings r;
    QVERIFY(r.SelectScale(QStringLiteral("A")));
    if (!keyOpen)
        r.CloseDefinition();
    r.DeleteDefinition();

    QVERIFY(!KeyExists(a));
    QCOMPARE(Snapshot(DefinitionPath(QStringLiteral("B"))), b);
    QStringList list;
    ListScales(list);
    QCOMPARE(list, QStringList{QStringLiteral("B")});

    // A name that no longer exists: nothing happens.
    const QStringList before = WholeStore();
    r.DeleteDefinition();
    QCOMPARE(WholeStore(), before);
}

// Its KeyPath is empty, which must not be taken for the root of the store.
void TestScaleStore::neverSelectedRecordDeletesNothing()
{
    SaveDistinct(QStringLiteral("A"));
    CreateRawKey(QStringLiteral("\\Parameters\\Sub"));
    const QStringList before = WholeStore();
    THbScaleSettings r;
    r.PurgeParameters();
    r.DeleteDefinition();
    QCOMPARE(WholeStore(), before);
}

// The editor's order: select, change, save, purge, close.
void TestScaleStore::saveThenPurgeParameters()
{
    SaveDistinct(QStringLiteral("Edited"));
    const QString parameters = DefinitionPath(QStringLiteral("Edited")) + QStringLiteral("\\Parameters");
    CreateRawKey(parameters + QStringLiteral("\\One\\Below"));
    CreateRawKey(parameters + QStringLiteral("\\Two"));
    WriteRaw(parameters, QStringLiteral("Note"), QStringLiteral("stays"));
    WriteRaw(parameters, QStringLiteral("Count"), 3);

    THbScaleSettings r;
    QVERIFY(r.SelectScale(QStringLiteral("Edited")));
    r.LoadDefinition();
    r.NoOfChars = 12;
    r.SaveDefinition();
    r.PurgeParameters();
    // The record's own key is still open and usable.
    QVERIFY(r.HasOpenKey());
    r.WriteInteger(QStringLiteral("NoOfChars"), 13);
    r.CloseDefinition();

    QCOMPARE(Snapshot(parameters),
             (QStringList{QStringLiteral("|"), QStringLiteral("|Count=dword:3"),
                          QStringLiteral("|Note=sz:stays")}));
    THbScaleSettings check;
    QVERIFY(check.SelectScale(QStringLiteral("Edited")));
    check.LoadDefinition();
    QCOMPARE(check.NoOfChars, 13);
}

PONDREL_TEST_MAIN(TestScaleStore)
#include "tst_scalestore.moc"
