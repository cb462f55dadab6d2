#include "frame/registryvalues.h"
#include "frame/winhelpers.h"

#include "definitions/scalesettings.h"
#include "platform/errors.h"
#include "platform/verhelpers.h"

#include "support/testmain.h"

#include <QVariant>

namespace {

const QString MainWindowKey = QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0\\MainWindow");

// Everything stored in a key, one "name type value" line per value, by name.
QStringList ReadKey(const QString& path)
{
    TRegistry registry;
    QStringList contents;
    if (!registry.OpenKey(path, false))
        return contents;
    for (const QString& name : registry.GetValueNames()) {
        switch (registry.GetDataType(name)) {
        case TRegDataType::rdInteger:
            contents.append(name + " REG_DWORD " + QString::number(registry.ReadInteger(name)));
            break;
        case TRegDataType::rdString:
            contents.append(name + " REG_SZ " + registry.ReadString(name));
            break;
        default:
            contents.append(name + " other");
            break;
        }
    }
    contents.sort(Qt::CaseInsensitive);
    return contents;
}

// Writes values into the MainWindow key: a QString as REG_SZ, an int as REG_DWORD.
void Store(const QVariantMap& values)
{
    TRegistry registry;
    QVERIFY(registry.OpenKey(MainWindowKey, true));
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.value().typeId() == QMetaType::Int)
            registry.WriteInteger(it.key(), it.value().toInt());
        else
            registry.WriteString(it.key(), it.value().toString());
    }
}

void Load(THbApplicationSettings& settings)
{
    settings.ReadApplicationSettings();
}

} // namespace

class TestRegistryValues : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        TRegistry registry;
        registry.DeleteKey(QStringLiteral("\\Software\\Holbrin"));
    }
    void cleanup() { SetVersionBlockAbsentForTesting(false); }

    void freshStoreIsSeeded()
    {
        THbApplicationSettings settings;
        Load(settings);

        QCOMPARE(settings.KeyPath, MainWindowKey);
        QStringList expected = {
            "SortOrder REG_SZ ASC",
            "ShowToolTips REG_SZ True",
            "CurrentScale REG_SZ Scale1",
            "DefaultCompany REG_SZ ",
            "Version REG_SZ ",
            // The user's locale, en_US here (see main).
            "Country REG_SZ English (United States)",
            "LCID REG_DWORD 1033",
            "MeasurementSystem REG_SZ 1",
        };
        expected.sort(Qt::CaseInsensitive);
        QCOMPARE(ReadKey(MainWindowKey), expected);
        QVERIFY(!settings.HasOpenKey());
    }

    void storedValuesAreRead()
    {
        const int otherUnits = DefaultMeasurementSystem() == 0 ? 1 : 0;
        const QVariantMap stored = {
            {"SortOrder", "DESC"},
            {"ShowToolTips", "False"},
            {"CurrentScale", "Scale7"},
            {"DefaultCompany", "Holbrin Haulage"},
            {"Version", "1.9"},
            {"Country", "Welsh (United Kingdom)"},
            {"LCID", 0x0452},
            {"MeasurementSystem", QString::number(otherUnits)},
        };
        Store(stored);
        const QStringList before = ReadKey(MainWindowKey);

        THbApplicationSettings settings;
        Load(settings);

        QCOMPARE(settings.SortOrder, QStringLiteral("DESC"));
        QCOMPARE(settings.ShowToolTips, QStringLiteral("False"));
        QCOMPARE(settings.CurrentScale, QStringLiteral("Scale7"));
        QCOMPARE(settings.DefaultCompany, QStringLiteral("Holbrin Haulage"));
        QCOMPARE(settings.Version, QStringLiteral("1.9"));
        QCOMPARE(settings.Country, QStringLiteral("Welsh (United Kingdom)"));
        QCOMPARE(settings.LCID, 0x0452);
        QCOMPARE(settings.MeasurementSystem(), otherUnits);
        QCOMPARE(ReadKey(MainWindowKey), before);
    }

    void previewTicketsIsDeleted_data()
    {
        QTest::addColumn<QVariant>("previewTickets");
        QTest::newRow("text") << QVariant(QStringLiteral("True"));
        QTest::newRow("integer") << QVariant(1);
    }
    void previewTicketsIsDeleted()
    {
        QFETCH(QVariant, previewTickets);
        THbApplicationSettings settings;
        Load(settings);
        const QStringList seeded = ReadKey(MainWindowKey);
        Store({{"PreviewTickets", previewTickets}});

        Load(settings);

        QCOMPARE(ReadKey(MainWindowKey), seeded);
    }

    void newRecordsTakeTheStoredMeasurementSystem_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("metric") << "0" << 0;
        QTest::newRow("imperial") << "1" << 1;
        QTest::newRow("other whole number") << "7" << 7;
        QTest::newRow("nothing stored") << "" << DefaultMeasurementSystem();
    }
    void newRecordsTakeTheStoredMeasurementSystem()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        THbApplicationSettings settings;
        InstallApplicationSettings(settings);
        if (!stored.isEmpty())
            Store({{"MeasurementSystem", stored}});

        QCOMPARE(THbScaleSettings().MeasurementSystem(), expected);
        QVERIFY(ReadKey(MainWindowKey)
                    .contains("MeasurementSystem REG_SZ " + QString::number(expected)));

        // Every construction reloads: a change in the store reaches the next record.
        Store({{"MeasurementSystem", QString::number(expected + 1)}});
        QCOMPARE(THbScaleSettings().MeasurementSystem(), expected + 1);
        QVERIFY(!settings.HasOpenKey());
    }

    void uninstalledWithTheSettings()
    {
        Store({{"MeasurementSystem", QString::number(DefaultMeasurementSystem() + 5)}});
        {
            THbApplicationSettings settings;
            InstallApplicationSettings(settings);
        }
        QCOMPARE(THbScaleSettings().MeasurementSystem(), DefaultMeasurementSystem());
    }

    void notAWholeNumberFailsTheLoad()
    {
        Store({{"MeasurementSystem", "x"}});
        const QStringList before = ReadKey(MainWindowKey);
        THbApplicationSettings settings;
        InstallApplicationSettings(settings);

        try {
            Load(settings);
            QFAIL("the load took MeasurementSystem x");
        } catch (const EConvertError& error) {
            QVERIFY2(error.Message().contains(QStringLiteral("MeasurementSystem"))
                         && error.Message().contains(QStringLiteral("\"x\"")),
                     qPrintable(error.Message()));
        }
        // The getter alone, holding x, answers the locale's default.
        QCOMPARE(settings.MeasurementSystem(), DefaultMeasurementSystem());
        // Nothing was seeded around the bad value, and no record is made.
        QCOMPARE(ReadKey(MainWindowKey), before);
        QVERIFY_THROWS_EXCEPTION(EConvertError, THbScaleSettings());
        QVERIFY(!settings.HasOpenKey());
    }

    void wrongTypeFailsTheLoad_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("LCID as text") << "LCID" << QVariant(QStringLiteral("1033"));
        QTest::newRow("SortOrder as integer") << "SortOrder" << QVariant(1);
        QTest::newRow("MeasurementSystem as integer") << "MeasurementSystem" << QVariant(1);
    }
    void wrongTypeFailsTheLoad()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        Store({{name, value}});
        const QStringList before = ReadKey(MainWindowKey);
        THbApplicationSettings settings;

        try {
            Load(settings);
            QFAIL("the load read a value of the wrong type");
        } catch (const ERegistryException& error) {
            QVERIFY2(error.Message().contains(name), qPrintable(error.Message()));
        }
        QCOMPARE(ReadKey(MainWindowKey), before);
    }

    void keyWithoutVersionBlock()
    {
        SetVersionBlockAbsentForTesting(true);
        THbApplicationSettings settings;
        Load(settings);
        QCOMPARE(settings.KeyPath, QStringLiteral("\\Software\\Holbrin\\MainWindow"));
        QCOMPARE(ReadKey(settings.KeyPath).size(), 8);
    }
};

// A fixed user locale, so the seeded locale values are known: en_US, imperial units.
int main(int argc, char** argv)
{
    IsolateUserFolders();
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    QCoreApplication app(argc, argv);
    TestRegistryValues test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_registryvalues.moc"
