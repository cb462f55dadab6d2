#include "frame/registryvalues.h"
#include "frame/winhelpers.h"
#include "platform/messagebox.h"

#include "support/recordedboxes.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

const QString OnlineQuestion =
    QStringLiteral("Do you want to view the on-line version of the documentation?");
const QString EditorTopic = QStringLiteral("Scale\\Scale_Definition_Editor.htm");

// Run as a child with its own locale environment (the system locale is read once per
// process): prints what the locale queries and the settings' defaults give there.
int RunLocaleProbe()
{
    BuildLocaleList();
    const std::optional<quint16> listed = FindLocaleId(UserLanguageName());
    const THbApplicationSettings settings;
    std::printf("language=%s\nmeasure=%s\ndefault=%d\nlisted=%s\ncountry=%s\nlcid=%d\nunits=%d\n",
                qUtf8Printable(UserLanguageName()),
                qUtf8Printable(GetLocaleText(LOCALE_USER_DEFAULT, LOCALE_IMEASURE)),
                DefaultMeasurementSystem(),
                listed ? qUtf8Printable(QString::number(*listed)) : "none",
                qUtf8Printable(settings.Country), int(settings.LCID),
                settings.MeasurementSystem());
    return 0;
}

} // namespace

class TestWinhelpers : public QObject {
    Q_OBJECT

private:
    std::optional<TRecordedBoxes> FBoxes; // installed from init to cleanup
    QStringList FStarted; // program, then its arguments, of the last start
    int FStarts = 0;

    void CaptureStarts()
    {
        SetProcessStarterForTesting(
            [this](const QString& program, const QStringList& arguments, QString&) {
                ++FStarts;
                FStarted = QStringList{program} + arguments;
                return true;
            });
    }

    // <root>/Weigh Station/bin/ with its help pages in <root>/Weigh Station/share/pondrel/help.
    static QString MakeInstallation(const QTemporaryDir& root, const QStringList& pages)
    {
        const QString station = root.path() + QStringLiteral("/Weigh Station");
        const QString help = station + QStringLiteral("/share/pondrel/help/");
        QDir().mkpath(station + QStringLiteral("/bin"));
        for (const QString& page : pages) {
            QDir().mkpath(QFileInfo(help + page).absolutePath());
            QFile file(help + page);
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot create %s", qPrintable(file.fileName()));
            file.write("<html></html>");
        }
        return station + QStringLiteral("/bin/");
    }

private Q_SLOTS:
    void init()
    {
        FBoxes.emplace();
        FStarted.clear();
        FStarts = 0;
        SetHelpViewerProgram(QStringLiteral("xdg-open"));
    }
    void cleanup()
    {
        SetProcessStarterForTesting({});
        FBoxes.reset();
    }

    void localeListHoldsInstalledLocales()
    {
        BuildLocaleList();
        const TLocaleList& list = LocaleList();
        QVERIFY(list.size() > 50);
        QCOMPARE(FindLocaleId(QStringLiteral("English (United States)")), quint16(1033));
        QCOMPARE(FindLocaleId(QStringLiteral("english (united states)")), quint16(1033));
        QCOMPARE(FindLocaleId(QStringLiteral("English (United Kingdom)")), quint16(2057));
        QCOMPARE(FindLocaleId(QStringLiteral("German (Germany)")), quint16(1031));
        QCOMPARE(FindLocaleId(QStringLiteral("Klingon (Qo'noS)")), std::nullopt);
        for (qsizetype i = 0; i < list.size(); ++i) {
            // Sorted case-insensitively, and every entry names the locale of its identifier.
            if (i > 0)
                QVERIFY2(list[i - 1].Name.compare(list[i].Name, Qt::CaseInsensitive) <= 0,
                         qPrintable(list[i - 1].Name + " / " + list[i].Name));
            QCOMPARE(GetLocaleText(list[i].Lcid, LOCALE_SLANGUAGE), list[i].Name);
        }
        // Rebuilding replaces the list instead of adding to it.
        const qsizetype size = list.size();
        BuildLocaleList();
        QCOMPARE(LocaleList().size(), size);
    }

    void getLocaleText_data()
    {
        QTest::addColumn<quint32>("lcid");
        QTest::addColumn<int>("info");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en-US name") << 1033u << LOCALE_SLANGUAGE << "English (United States)";
        QTest::newRow("en-US measure") << 1033u << LOCALE_IMEASURE << "1";
        QTest::newRow("de-DE name") << 1031u << LOCALE_SLANGUAGE << "German (Germany)";
        QTest::newRow("de-DE measure") << 1031u << LOCALE_IMEASURE << "0";
        QTest::newRow("pt-BR name") << 1046u << LOCALE_SLANGUAGE << "Portuguese (Brazil)";
        QTest::newRow("sr-Cyrl-RS, usual script") << 0x281Au << LOCALE_SLANGUAGE
                                                  << "Serbian (Serbia)";
        QTest::newRow("sr-Latn-RS, other script") << 0x241Au << LOCALE_SLANGUAGE
                                                  << "Serbian (Latin, Serbia)";
        QTest::newRow("Windows' territory wording") << 0x2C09u << LOCALE_SLANGUAGE
                                                    << "English (Trinidad and Tobago)";
        QTest::newRow("invariant name") << 127u << LOCALE_SLANGUAGE
                                        << "Invariant Language (Invariant Country)";
        QTest::newRow("invariant measure") << 127u << LOCALE_IMEASURE << "0";
        QTest::newRow("unknown identifier") << 0x0001u << LOCALE_SLANGUAGE << "";
        QTest::newRow("beyond 16 bits") << 0x10409u << LOCALE_SLANGUAGE << "";
        QTest::newRow("information not served") << 1033u << 3 << "";
    }
    void getLocaleText()
    {
        QFETCH(quint32, lcid);
        QFETCH(int, info);
        QFETCH(QString, expected);
        QCOMPARE(GetLocaleText(lcid, info), expected);
    }

    // The user's locale, the measurement default and the settings' Country and LCID, each
    // in a child process whose locale environment is set.
    void userLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("measure");
        QTest::addColumn<int>("units");
        QTest::addColumn<int>("lcid");
        QTest::newRow("U.S.") << "en_US.UTF-8" << "English (United States)" << "1" << 1 << 1033;
        QTest::newRow("metric") << "de_DE.UTF-8" << "German (Germany)" << "0" << 0 << 1031;
        QTest::newRow("C locale") << "C" << "Invariant Language (Invariant Country)" << "0" << 0
                                  << 127;
        QTest::newRow("POSIX locale") << "POSIX" << "Invariant Language (Invariant Country)" << "0"
                                      << 0 << 127;
        // Windows has no identifier for English in Germany: the settings keep 1024.
        QTest::newRow("no identifier") << "en_DE.UTF-8" << "English (Germany)" << "0" << 0 << 1024;
    }
    void userLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QFETCH(QString, measure);
        QFETCH(int, units);
        QFETCH(int, lcid);

        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), locale);
        probe.setProcessEnvironment(environment);
        probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--locale-probe")});
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitCode(), 0);
        QHash<QString, QString> values;
        for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split('\n')) {
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals > 0)
                values.insert(line.left(equals), line.mid(equals + 1));
        }
        QCOMPARE(values.value("language"), language);
        QCOMPARE(values.value("measure"), measure);
        QCOMPARE(values.value("default"), QString::number(units));
        QCOMPARE(values.value("listed"),
                 lcid == 1024 ? QStringLiteral("none") : QString::number(lcid));
        QCOMPARE(values.value("country"), language);
        QCOMPARE(values.value("lcid"), QString::number(lcid));
        QCOMPARE(values.value("units"), QString::number(units));
    }

    void helpReference_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        const QString programFolder = QCoreApplication::applicationDirPath() + '/';
        QTest::newRow("program folder") << "" << "tallyon15.chm"
                                        << programFolder + "tallyon15.chm::/" + EditorTopic;
        QTest::newRow("application help file") << "/opt/Weigh Station/bin/" << ""
                                               << "/opt/Weigh Station/bin/tallyon15.chm::/"
                                                      + EditorTopic;
    }
    void helpReference()
    {
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QCOMPARE(MakeHelpReference(folder, file, EditorTopic).Text(), expected);
    }

    // Blanks in the folder and anything in the topic stay inside the one page argument.
    void helpPageIsOneArgument_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("page");
        QTest::newRow("editor topic") << EditorTopic << "Scale/Scale_Definition_Editor.htm";
        QTest::newRow("topic with an option") << "x --evil" << "x --evil";
        QTest::newRow("topic starting with a dash") << "--evil" << "--evil";
    }
    void helpPageIsOneArgument()
    {
        QFETCH(QString, topic);
        QFETCH(QString, page);
        QTemporaryDir root;
        const QString folder = MakeInstallation(root, {page});
        CaptureStarts();

        ShowHelpTopic(folder, QStringLiteral("tallyon15.chm"), topic, QString());

        QCOMPARE(FBoxes->Errors, QStringList());
        QCOMPARE(FStarted, (QStringList{QStringLiteral("xdg-open"),
                                        root.path() + "/Weigh Station/share/pondrel/help/" + page}));
    }

    // The real start: a viewer script records the arguments it was given.
    void viewerReceivesThePageUnsplit()
    {
        QTemporaryDir root;
        const QString folder = MakeInstallation(root, {QStringLiteral("x --evil; touch pwned")});
        const QString viewer = root.path() + QStringLiteral("/viewer");
        const QString record = root.path() + QStringLiteral("/arguments");
        QFile script(viewer);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"$0.tmp\" && mv \"$0.tmp\" \""
                     + record.toUtf8() + "\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        SetHelpViewerProgram(viewer);

        ShowHelpTopic(folder, QString(), QStringLiteral("x --evil; touch pwned"), QString());

        QCOMPARE(FBoxes->Errors, QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 10000);
        QFile result(record);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(result.readAll()),
                 "1\n" + root.path() + "/Weigh Station/share/pondrel/help/x --evil; touch pwned\n");
        QVERIFY(!QFile::exists(QDir::currentPath() + QStringLiteral("/pwned")));
    }

    void shippedPageIsFound()
    {
        CaptureStarts();
        ShowHelpTopic(QString(), QStringLiteral("tallyon15.chm"), EditorTopic, QString());
        QCOMPARE(FBoxes->Errors, QStringList());
        QCOMPARE(FStarted.size(), 2);
        QVERIFY2(FStarted[1].endsWith(QStringLiteral("/help/Scale/Scale_Definition_Editor.htm")),
                 qPrintable(FStarted[1]));
        QFile page(FStarted[1]);
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(page.readAll().contains("Scale Definition Editor"));
    }

    void missingPageIsReported_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("webAddress");
        QTest::addColumn<QStringList>("questions");
        QTest::newRow("missing page") << "Scale\\No_Such_Page.htm" << "" << QStringList();
        QTest::newRow("missing page, on-line offered")
            << "Scale\\No_Such_Page.htm" << "https://example.com/help" << QStringList{OnlineQuestion};
        QTest::newRow("topic leading out of the help folder")
            << "..\\..\\..\\bin\\tallyon15.chm" << "" << QStringList();
    }
    void missingPageIsReported()
    {
        QFETCH(QString, topic);
        QFETCH(QString, webAddress);
        QFETCH(QStringList, questions);
        QTemporaryDir root;
        const QString folder = MakeInstallation(root, {QStringLiteral("Scale/Other.htm")});
        QFile outside(folder + QStringLiteral("tallyon15.chm"));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        CaptureStarts();

        ShowHelpTopic(folder, QStringLiteral("tallyon15.chm"), topic, webAddress);

        QCOMPARE(FStarts, 0);
        QCOMPARE(FBoxes->Errors.size(), 1);
        QVERIFY2(FBoxes->Errors[0].contains(topic), qPrintable(FBoxes->Errors[0]));
        QCOMPARE(FBoxes->Questions, questions);
    }

    void viewerThatCannotStart_data()
    {
        QTest::addColumn<QString>("webAddress");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("questions");
        QTest::addColumn<int>("errors");
        QTest::newRow("no web address") << "" << false << QStringList() << 1;
        QTest::newRow("on-line declined") << "https://example.com/help" << false
                                          << QStringList{OnlineQuestion} << 1;
        // A test process has no desktop session to open the address in.
        QTest::newRow("on-line fails to open") << "https://example.com/help" << true
                                               << QStringList{OnlineQuestion} << 2;
    }
    void viewerThatCannotStart()
    {
        QFETCH(QString, webAddress);
        QFETCH(bool, answer);
        QFETCH(QStringList, questions);
        QFETCH(int, errors);
        QTemporaryDir root;
        const QString folder = MakeInstallation(root, {QStringLiteral("Scale/Scale_Definition_Editor.htm")});
        const QString viewer = root.path() + QStringLiteral("/no-such-viewer");
        SetHelpViewerProgram(viewer);
        FBoxes->Answer = answer;

        if (answer)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QDesktopServices::openUrl"));
        ShowHelpTopic(folder, QString(), EditorTopic, webAddress);

        QCOMPARE(FBoxes->Errors.size(), errors);
        QVERIFY2(FBoxes->Errors[0].contains(viewer), qPrintable(FBoxes->Errors[0]));
        QVERIFY2(FBoxes->Errors[0].contains(QStringLiteral("No such file or directory")),
                 qPrintable(FBoxes->Errors[0]));
        QCOMPARE(FBoxes->Questions, questions);
        if (errors == 2)
            QVERIFY2(FBoxes->Errors[1].contains(webAddress), qPrintable(FBoxes->Errors[1]));
    }
};

int main(int argc, char** argv)
{
    IsolateUserFolders();
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--locale-probe") == 0)
        return RunLocaleProbe();
    TestWinhelpers test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_winhelpers.moc"
