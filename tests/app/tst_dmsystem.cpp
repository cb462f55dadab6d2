#include "app/dmsystem.h"

#include "frame/regionalformats.h"
#include "platform/registry.h"

#include "support/testmain.h"

#include <QEvent>
#include <QLocale>

namespace {

const QString kMainWindowKey = QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0\\MainWindow");
const QDateTime kSample(QDate(2024, 3, 5), QTime(14, 7, 9));

// The texts that show which formats are in force.
QStringList Formatted()
{
    return {DateToStr(kSample.date()), TimeToStr(kSample.time(), TTimeForm::Short),
            TimeToStr(kSample.time()), FormatDateTime(QStringLiteral("mmmm"), kSample)};
}

QStringList Regional(const QString& month)
{
    return {QStringLiteral("2024-03-05"), QStringLiteral("14:07:09"), QStringLiteral("02:07:09 pm"), month};
}

// en_US as the locale gives it.
const QStringList kEnglishLocale{QStringLiteral("3/5/24"), QStringLiteral("2:07 PM"),
                                 QStringLiteral("2:07:09 PM"), QStringLiteral("March")};

void SendLocaleChange()
{
    QEvent change(QEvent::LocaleChange);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
}

} // namespace

class TestDMSystem : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        LoadLocaleFormats();
        TRegistry registry;
        registry.DeleteKey(QStringLiteral("\\Software\\Holbrin"));
    }

    void constructionSetsTheFormats()
    {
        QCOMPARE(Formatted(), kEnglishLocale);
        TDMSystem system;
        QCOMPARE(Formatted(), Regional(QStringLiteral("March")));
        QCOMPARE(system.ApplicationSettings().CurrentScale, QStringLiteral("Scale1"));
    }

    // A store the settings cannot be read from ends the construction before the formats
    // are touched, and leaves nothing listening for locale changes.
    void failedLoadRaises()
    {
        {
            TRegistry registry;
            QVERIFY(registry.OpenKey(kMainWindowKey, true));
            registry.WriteString(QStringLiteral("LCID"), QStringLiteral("1033"));
        }
        QVERIFY_THROWS_EXCEPTION(ERegistryException, TDMSystem());
        QCOMPARE(Formatted(), kEnglishLocale);
        SendLocaleChange();
        QCOMPARE(Formatted(), kEnglishLocale);
    }

    void settingChange_data()
    {
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("section");
        QTest::addColumn<bool>("restored");
        QTest::newRow("intl, 0") << 0 << "intl" << true;
        QTest::newRow("Intl, 0: the section is case-sensitive") << 0 << "Intl" << false;
        QTest::newRow("intl, 1") << 1 << "intl" << false;
        QTest::newRow("intl, -1") << -1 << "intl" << false;
        QTest::newRow("other section") << 0 << "Windows" << false;
        QTest::newRow("no section") << 0 << "" << false;
    }
    void settingChange()
    {
        QFETCH(int, flag);
        QFETCH(QString, section);
        QFETCH(bool, restored);
        TDMSystem system;
        int refreshed = 0;
        system.SetPrinterListRefresher([&refreshed] { ++refreshed; });

        // The platform has read the user's locale again, over the program's formats.
        LoadLocaleFormats();
        system.ApplicationEvents1SettingChange(flag, section);

        QCOMPARE(Formatted(), restored ? Regional(QStringLiteral("March")) : kEnglishLocale);
        QCOMPARE(refreshed, 1);
    }

    void settingChangeWithoutRefresher()
    {
        TDMSystem system;
        LoadLocaleFormats();
        system.ApplicationEvents1SettingChange(0, QStringLiteral("intl"));
        QCOMPARE(Formatted(), Regional(QStringLiteral("March")));
    }

    // The application's locale change reloads the locale's values, then sets the program's
    // formats over them: the new month names arrive, the date and time formats stay.
    void localeChangeEventRestoresTheFormats()
    {
        int refreshed = 0;
        {
            TDMSystem system;
            system.SetPrinterListRefresher([&refreshed] { ++refreshed; });
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
            SendLocaleChange();
            QCOMPARE(Formatted(), Regional(QString::fromUtf8("März")));
            QCOMPARE(refreshed, 1);
        }
        // Gone with the module: nothing answers a later change.
        SendLocaleChange();
        QCOMPARE(refreshed, 1);
        QCOMPARE(Formatted(), Regional(QString::fromUtf8("März")));
    }
};

PONDREL_TEST_MAIN(TestDMSystem)
#include "tst_dmsystem.moc"
