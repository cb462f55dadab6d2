#include "platform/registry.h"
#include "support/testmain.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>

#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Tool = QStringLiteral(PONDREL_REGISTRY_TOOL);
const QByteArray Header = "Windows Registry Editor Version 5.00\r\n\r\n";

struct TRun {
    int Exit = -1;
    QByteArray Out;
    QString Err;
};

// Runs the tool to its end. unprivileged: as the user nobody (for tests running as root).
TRun Run(const QStringList& arguments, const QByteArray& input = {}, bool unprivileged = false)
{
    QProcess process;
    if (unprivileged)
        process.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(125);
        });
    process.start(Tool, arguments);
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    TRun run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.Exit = process.exitCode();
    run.Out = process.readAllStandardOutput();
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRegistryTool : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString Path(const char* name) const { return FDir->filePath(QLatin1String(name)); }

private Q_SLOTS:
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        TRegistry registry; // the user's store, which the tool uses by default
        registry.DeleteKey(QStringLiteral("\\Software"));
        QVERIFY(registry.OpenKey(
            QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0\\MainWindow"), true));
        registry.WriteString(QStringLiteral("CurrentScale"), QStringLiteral("Scale1"));
        registry.WriteInteger(QStringLiteral("LCID"), 1033);
    }

    void help()
    {
        const TRun run = Run({QStringLiteral("--help")});
        QCOMPARE(run.Exit, 0);
        QVERIFY(run.Out.contains("pondrel-registry [--store STORE] export [--utf16] FILE [KEY]"));
        QVERIFY(run.Out.contains("Exit codes: 0 done, 1 wrong command line, 2"));
        QVERIFY(run.Err.isEmpty());
    }

    void exportAndImport()
    {
        const TRun exported
            = Run({QStringLiteral("export"), QStringLiteral("--utf16"), Path("backup.reg")});
        QCOMPARE(exported.Exit, 0);
        QVERIFY(ReadFile(Path("backup.reg")).startsWith("\xff\xfeW\0i\0n\0"));
        const TRun toStdout = Run({QStringLiteral("export"), QStringLiteral("-"),
            QStringLiteral("HKEY_CURRENT_USER\\Software\\Holbrin\\Pondrel\\2.0")});
        QCOMPARE(toStdout.Exit, 0);
        QCOMPARE(toStdout.Out,
            Header
                + "[HKEY_CURRENT_USER\\Software\\Holbrin\\Pondrel\\2.0]\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Holbrin\\Pondrel\\2.0\\MainWindow]\r\n"
                  "\"CurrentScale\"=\"Scale1\"\r\n"
                  "\"LCID\"=dword:00000409\r\n\r\n");

        QVERIFY(TRegistry().DeleteKey(QStringLiteral("\\Software\\Holbrin")));
        const TRun imported = Run({QStringLiteral("import"), Path("backup.reg")});
        QCOMPARE(imported.Exit, 0);
        QVERIFY2(imported.Err.isEmpty(), qPrintable(imported.Err));
        const TRun again = Run({QStringLiteral("export"), QStringLiteral("-"),
            QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0")});
        QCOMPARE(again.Out, toStdout.Out);

        // From standard input, into another store file.
        const TRun piped = Run({QStringLiteral("--store"), Path("other.db"),
                                   QStringLiteral("import"), QStringLiteral("-")},
            toStdout.Out);
        QCOMPARE(piped.Exit, 0);
        TRegistry other(Path("other.db"));
        QVERIFY(
            other.OpenKey(QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0\\MainWindow"), false));
        QCOMPARE(other.ReadInteger(QStringLiteral("LCID")), 1033);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("file"); // written to in.reg first when not empty
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("message");
        const QString in = QStringLiteral("@IN@");
        QTest::newRow("no command")
            << QStringList() << QByteArray() << 1 << QStringLiteral("Say export or import.");
        QTest::newRow("unknown command") << QStringList{QStringLiteral("copy")} << QByteArray() << 1
                                         << QStringLiteral("Unknown command copy");
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("export"), QStringLiteral("--all"), in} << QByteArray()
            << 1 << QStringLiteral("Unknown option --all.");
        QTest::newRow("export without a file")
            << QStringList{QStringLiteral("export")} << QByteArray() << 1
            << QStringLiteral("export needs a FILE");
        QTest::newRow("invalid key")
            << QStringList{QStringLiteral("export"), in, QStringLiteral("A\\\\B")} << QByteArray()
            << 1 << QStringLiteral("not a valid key path");
        QTest::newRow("missing file")
            << QStringList{QStringLiteral("import"), QStringLiteral("/nonexistent/x.reg")}
            << QByteArray() << 2 << QStringLiteral("Cannot read /nonexistent/x.reg");
        QTest::newRow("faulty file")
            << QStringList{QStringLiteral("import"), in}
            << QByteArray(Header
                   + "[HKEY_CURRENT_USER\\Software\\Holbrin\\New]\r\n\"A\"=dword:1\r\n\"B\"=hex:"
                     "00\r\n")
            << 2 << QStringLiteral("in.reg: Line 5: REG_BINARY values (hex) cannot be kept");
        QTest::newRow("unwritable export file")
            << QStringList{QStringLiteral("export"), QStringLiteral("/nonexistent/out.reg")}
            << QByteArray() << 2 << QStringLiteral("Cannot write /nonexistent/out.reg");
        QTest::newRow("missing key")
            << QStringList{QStringLiteral("export"), in, QStringLiteral("\\Software\\Nothing")}
            << QByteArray() << 3 << QStringLiteral("the key \\Software\\Nothing does not exist");
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, file);
        QFETCH(int, exit);
        QFETCH(QString, message);
        const QString in = Path("in.reg");
        if (!file.isEmpty())
            WriteFile(in, file);
        arguments.replaceInStrings(QStringLiteral("@IN@"), in);
        const QString storeFile = TRegistry::DefaultStoreFile();
        TRegistry().CloseKey();
        const QByteArray before = ReadFile(storeFile);

        const TRun run = Run(arguments);
        QCOMPARE(run.Exit, exit);
        QVERIFY2(run.Err.startsWith(QStringLiteral("pondrel-registry: ")), qPrintable(run.Err));
        QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
        QVERIFY(run.Out.isEmpty());
        QCOMPARE(ReadFile(storeFile), before); // nothing written
    }

    void damagedStore()
    {
        const QByteArray garbage = QByteArray("not a database\n").repeated(100);
        WriteFile(Path("bad.db"), garbage);
        for (const QString& command : {QStringLiteral("export"), QStringLiteral("import")}) {
            WriteFile(Path("in.reg"), Header);
            const TRun run
                = Run({QStringLiteral("--store"), Path("bad.db"), command, Path("in.reg")});
            QCOMPARE(run.Exit, 3);
            QVERIFY2(run.Err.contains(
                         Path("bad.db") + QStringLiteral(" is damaged or is not a key store")),
                qPrintable(run.Err));
        }
        QCOMPARE(ReadFile(Path("bad.db")), garbage);
    }

    void unwritableStore_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only file")
            << false << QStringLiteral("is read-only. Make it writable");
        QTest::newRow("read-only folder")
            << true << QStringLiteral("of the key store file cannot be written");
    }

    void unwritableStore()
    {
        // As root permission bits stop nobody, so the tool then runs as the user nobody on a
        // store that root owns.
        QFETCH(bool, folder);
        QFETCH(QString, fault);
        const bool root = ::geteuid() == 0;
        const QString store = Path("store/registry.db");
        {
            TRegistry registry(store);
            QVERIFY(registry.OpenKey(QStringLiteral("\\Software\\Holbrin"), true));
            registry.WriteInteger(QStringLiteral("Kept"), 1);
        }
        WriteFile(Path("in.reg"),
            Header + "[HKEY_CURRENT_USER\\Software\\Holbrin]\r\n\"New\"=dword:2\r\n");
        const QString folderPath = Path("store");
        const auto mode = [](const QString& path, mode_t bits) {
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), bits), 0);
        };
        if (root) {
            mode(FDir->path(), 0755);
            mode(folderPath, folder ? 0755 : 0777);
            mode(store, folder ? 0666 : 0644);
            mode(Path("in.reg"), 0644);
        } else if (folder) {
            mode(folderPath, 0555);
        } else {
            mode(store, 0444);
        }
        const QByteArray before = ReadFile(store);

        const TRun exported
            = Run({QStringLiteral("--store"), store, QStringLiteral("export"), QStringLiteral("-")},
                {}, root);
        const TRun imported = Run(
            {QStringLiteral("--store"), store, QStringLiteral("import"), Path("in.reg")}, {}, root);
        mode(folderPath, 0700);
        if (root && exported.Exit == 125)
            QSKIP("Running as root without the right to become the user nobody; the store's "
                  "permission bits cannot be tested here.");
        QCOMPARE(exported.Exit, 0); // reading still works
        QVERIFY(exported.Out.contains("\"Kept\"=dword:00000001"));
        QCOMPARE(imported.Exit, 3);
        QVERIFY2(imported.Err.contains(fault)
                && imported.Err.endsWith(QStringLiteral("Nothing was imported.\n")),
            qPrintable(imported.Err));
        QCOMPARE(ReadFile(store), before);
    }

    void twoProcessesLoseNoWrite()
    {
        // Tool processes import while this process writes single values; every write lands.
        constexpr int Rounds = 4;
        constexpr int Writers = 2;
        TRegistry mine;
        QVERIFY(mine.OpenKey(QStringLiteral("\\Software\\Holbrin\\Mine"), true));
        int written = 0;
        for (int round = 0; round < Rounds; ++round) {
            QProcess writers[Writers];
            for (int w = 0; w < Writers; ++w) {
                QByteArray file = Header;
                file
                    += QStringLiteral("[HKEY_CURRENT_USER\\Software\\Holbrin\\Tool%1\\Round%2]\r\n")
                           .arg(w)
                           .arg(round)
                           .toUtf8();
                for (int v = 0; v < 50; ++v)
                    file += QStringLiteral("\"V%1\"=dword:%2\r\n")
                                .arg(v)
                                .arg(round * 100 + v, 8, 16, QLatin1Char('0'))
                                .toUtf8();
                file += "\r\n[HKEY_CURRENT_USER\\Software\\Holbrin\\Shared]\r\n";
                file += QStringLiteral("\"W%1R%2\"=\"done\"\r\n").arg(w).arg(round).toUtf8();
                const QString name = FDir->filePath(QStringLiteral("w%1.reg").arg(w));
                WriteFile(name, file);
                writers[w].start(Tool, {QStringLiteral("import"), name});
            }
            const QDeadlineTimer deadline(60000);
            while (writers[0].state() != QProcess::NotRunning
                || writers[1].state() != QProcess::NotRunning) {
                QVERIFY(!deadline.hasExpired());
                mine.WriteInteger(QStringLiteral("M%1").arg(written), written);
                ++written;
                QCoreApplication::processEvents();
            }
            for (QProcess& writer : writers) {
                writer.waitForFinished();
                QVERIFY2(writer.exitCode() == 0, writer.readAllStandardError().constData());
            }
        }

        TRegistry check;
        QVERIFY(check.OpenKey(QStringLiteral("\\Software\\Holbrin\\Mine"), false));
        QCOMPARE(check.GetValueNames().size(), written);
        for (int i = 0; i < written; ++i)
            QCOMPARE(check.ReadInteger(QStringLiteral("M%1").arg(i)), i);
        QVERIFY(check.OpenKey(QStringLiteral("\\Software\\Holbrin\\Shared"), false));
        QCOMPARE(check.GetValueNames().size(), Rounds * Writers);
        for (int w = 0; w < Writers; ++w)
            for (int round = 0; round < Rounds; ++round) {
                QVERIFY(check.OpenKey(
                    QStringLiteral("\\Software\\Holbrin\\Tool%1\\Round%2").arg(w).arg(round),
                    false));
                QCOMPARE(check.GetValueNames().size(), 50);
                QCOMPARE(check.ReadInteger(QStringLiteral("V49")), round * 100 + 49);
            }
    }
};

PONDREL_TEST_MAIN(TestRegistryTool)

#include "tst_registrytool.moc"
