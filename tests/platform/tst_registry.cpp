#include "platform/registry.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray FileBytes(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& file, const QByteArray& bytes, qint64 offset = -1)
{
    QFile f(file);
    QVERIFY(f.open(offset < 0 ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::ReadWrite));
    if (offset >= 0)
        QVERIFY(f.seek(offset));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A second connection of the test's own, as another program would hold one.
struct TRawConnection {
    sqlite3* Db = nullptr;
    explicit TRawConnection(const QString& file)
    {
        sqlite3_open_v2(QFile::encodeName(file).constData(), &Db,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    ~TRawConnection() { sqlite3_close(Db); }
    TRawConnection(const TRawConnection&) = delete;
    TRawConnection& operator=(const TRawConnection&) = delete;
    int Exec(const char* sql) { return sqlite3_exec(Db, sql, nullptr, nullptr, nullptr); }
    qint64 Count(const char* sql)
    {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(Db, sql, -1, &statement, nullptr);
        const qint64 count
            = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
        sqlite3_finalize(statement);
        return count;
    }
};

QString RegistryError(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

const QStringList GroupValues
    = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")};

// Child mode: commits groups of values forever, each group through two accessors in one
// transaction, and reports every committed number on stdout.
int RunGroupWriter(const QString& storeFile)
{
    TRegistry group(storeFile);
    TRegistry sub(storeFile);
    qint32 first = 1;
    if (group.OpenKey(QStringLiteral("\\Groups"), false))
        first = group.ReadInteger(QStringLiteral("A")) + 1;
    for (qint32 i = first;; ++i) {
        TRegistry::TTransaction transaction(group);
        group.OpenKey(QStringLiteral("\\Groups"), true);
        for (const QString& name : GroupValues)
            group.WriteInteger(name, i);
        sub.OpenKey(QStringLiteral("\\Groups\\Sub"), true);
        sub.WriteString(QStringLiteral("E"), QString::number(i));
        transaction.Commit();
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}

} // namespace

class TestRegistry : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FFile;

private Q_SLOTS:
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        FFile = FDir->filePath(QStringLiteral("store/registry.db"));
        TRegistry::SetBusyTimeout(5000);
    }

    void cleanup()
    {
        QFile::setPermissions(FFile, QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(QFileInfo(FFile).absolutePath(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        FDir.reset();
    }

    void defaultStoreIsOwnerOnly()
    {
        const QString file = TRegistry::DefaultStoreFile();
        QCOMPARE(
            file, qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/pondrel/registry.db"));
        TRegistry registry;
        QVERIFY(registry.OpenKey(QStringLiteral("\\Software"), true));
        const auto mode = [](const QString& path) {
            struct stat status { };
            ::stat(QFile::encodeName(path).constData(), &status);
            return status.st_mode & 0777;
        };
        QCOMPARE(mode(file), 0600u);
        QCOMPARE(mode(QFileInfo(file).absolutePath()), 0700u);
    }

    void valuesKeepTypeAndOrder()
    {
        TRegistry registry(FFile);
        QVERIFY(!registry.HasOpenKey());
        QVERIFY(registry.OpenKey(QStringLiteral("\\Software\\Holbrin\\Pondrel"), true));
        QCOMPARE(registry.CurrentPath(), QStringLiteral("Software\\Holbrin\\Pondrel"));
        registry.WriteString(QStringLiteral("Zeta"), QStringLiteral("z\\\"\u00e9\U0001F600"));
        registry.WriteInteger(QStringLiteral("Alpha"), -2147483647 - 1);
        registry.WriteExpandString(QStringLiteral("Path"), QStringLiteral("%HOME%\\x"));
        registry.WriteString(QString(), QStringLiteral("default"));
        registry.WriteInteger(QStringLiteral("ALPHA"), 2147483647); // same value, other case

        QCOMPARE(registry.GetValueNames(),
            (QStringList{QStringLiteral("Zeta"), QStringLiteral("Alpha"), QStringLiteral("Path"),
                QString()}));
        QCOMPARE(registry.ReadInteger(QStringLiteral("alpha")), 2147483647);
        QCOMPARE(
            registry.ReadString(QStringLiteral("ZETA")), QStringLiteral("z\\\"\u00e9\U0001F600"));
        QCOMPARE(registry.ReadString(QStringLiteral("Path")), QStringLiteral("%HOME%\\x"));
        QCOMPARE(registry.ReadString(QString()), QStringLiteral("default"));
        QCOMPARE(registry.GetDataType(QStringLiteral("Path")), TRegDataType::rdExpandString);
        QCOMPARE(registry.GetDataType(QStringLiteral("Zeta")), TRegDataType::rdString);
        QCOMPARE(registry.GetDataType(QStringLiteral("Alpha")), TRegDataType::rdInteger);
        QCOMPARE(registry.GetDataType(QStringLiteral("None")), TRegDataType::rdUnknown);

        // A type change replaces the value in place.
        registry.WriteString(QStringLiteral("Alpha"), QStringLiteral("now text"));
        QCOMPARE(registry.GetDataType(QStringLiteral("Alpha")), TRegDataType::rdString);
        QVERIFY(registry.DeleteValue(QStringLiteral("zeta")));
        QVERIFY(!registry.DeleteValue(QStringLiteral("zeta")));
        QVERIFY(!registry.ValueExists(QStringLiteral("Zeta")));
        QCOMPARE(registry.GetValueNames().size(), 3);

        // Another accessor, even a later one, sees everything written.
        TRegistry other(FFile);
        QVERIFY(other.OpenKey(QStringLiteral("\\software\\holbrin\\pondrel"), false));
        QCOMPARE(other.CurrentPath(), QStringLiteral("Software\\Holbrin\\Pondrel"));
        QCOMPARE(other.ReadString(QStringLiteral("alpha")), QStringLiteral("now text"));
    }

    void keyNamesCompareWithoutCase()
    {
        TRegistry registry(FFile);
        QVERIFY(registry.OpenKey(QStringLiteral("\\List"), true));
        for (const char* name : {"beta", "Alpha", "_under", "\xc3\xa4rger", "Zulu", "alpha2"})
            QVERIFY(registry.CreateKey(QString::fromUtf8(name)));
        QVERIFY(registry.CreateKey(QStringLiteral("\u00c4RGER"))); // exists already: same key
        QVERIFY(registry.CreateKey(QStringLiteral("BETA")));
        QVERIFY(registry.HasSubKeys());
        // Ordered as the registry orders them: by upper case, so "_" comes after the letters.
        QCOMPARE(registry.GetKeyNames(),
            (QStringList{QStringLiteral("Alpha"), QStringLiteral("alpha2"), QStringLiteral("beta"),
                QStringLiteral("Zulu"), QStringLiteral("_under"), QStringLiteral("\u00e4rger")}));
        QVERIFY(registry.KeyExists(QStringLiteral("\\LIST\\\u00c4rger")));
        QVERIFY(registry.OpenKey(QStringLiteral("ZULU"), false));
        QCOMPARE(registry.CurrentPath(), QStringLiteral("List\\Zulu"));
        QVERIFY(!registry.HasSubKeys());
        QVERIFY(registry.GetKeyNames().isEmpty());
    }

    void paths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("opened"); // CurrentPath after OpenKey(path, true); "!" invalid
        // The accessor has \A\B open when path is used.
        QTest::newRow("absolute") << QStringLiteral("\\X\\Y") << QStringLiteral("X\\Y");
        QTest::newRow("relative to the open key")
            << QStringLiteral("C\\D") << QStringLiteral("A\\B\\C\\D");
        QTest::newRow("trailing backslash ignored")
            << QStringLiteral("\\X\\") << QStringLiteral("X");
        QTest::newRow("empty: the open key") << QString() << QStringLiteral("A\\B");
        QTest::newRow("root") << QStringLiteral("\\") << QString();
        QTest::newRow("doubled backslash") << QStringLiteral("\\X\\\\Y") << QStringLiteral("!");
        QTest::newRow("control character") << QStringLiteral("X\nY") << QStringLiteral("!");
        QTest::newRow("name too long") << QString(256, QLatin1Char('k')) << QStringLiteral("!");
        QTest::newRow("512 levels") << QStringList(510, QStringLiteral("k")).join(QLatin1Char('\\'))
                                    << QStringLiteral("A\\B\\")
                + QStringList(510, QStringLiteral("k")).join(QLatin1Char('\\'));
        QTest::newRow("513 levels")
            << QStringList(511, QStringLiteral("k")).join(QLatin1Char('\\')) << QStringLiteral("!");
        QTest::newRow("longest name") << QString(255, QLatin1Char('k'))
                                      << QStringLiteral("A\\B\\") + QString(255, QLatin1Char('k'));
    }

    void paths()
    {
        QFETCH(QString, path);
        QFETCH(QString, opened);
        TRegistry registry(FFile);
        QVERIFY(registry.OpenKey(QStringLiteral("\\A\\B"), true));
        if (opened == QLatin1String("!")) {
            QVERIFY(!registry.OpenKey(path, true));
            QCOMPARE(registry.CurrentPath(), QStringLiteral("A\\B")); // still open
            QVERIFY(!registry.KeyExists(path));
            QVERIFY(!registry.DeleteKey(path));
            QVERIFY(RegistryError([&] {
                registry.CreateKey(path);
            }).startsWith(QStringLiteral("Failed to create key ")));
            return;
        }
        QVERIFY(registry.CreateKey(path));
        QCOMPARE(registry.CurrentPath(), QStringLiteral("A\\B")); // creating does not open
        QVERIFY(registry.KeyExists(path));
        QVERIFY(registry.OpenKey(path, false));
        QCOMPARE(registry.CurrentPath(), opened);
        QVERIFY(registry.HasOpenKey());
        QVERIFY(TRegistry(FFile).KeyExists(QLatin1Char('\\') + opened));
    }

    void errorsNameTheValue_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("message");
        const QString key = QStringLiteral(" in \\Software\\Holbrin\\Pondrel\\2.0\\MainWindow: ");
        QTest::newRow("integer from text")
            << 0
            << QStringLiteral("Invalid data type for 'MeasurementSystem'") + key
                + QStringLiteral("the value is text, an integer was expected.");
        QTest::newRow("text from integer") << 1
                                           << QStringLiteral("Invalid data type for 'LCID'") + key
                + QStringLiteral("the value is an integer, a text was expected.");
        QTest::newRow("missing value") << 2
                                       << QStringLiteral("Failed to get data for 'Nothing'") + key
                + QStringLiteral("the value does not exist.");
        QTest::newRow("write without an open key")
            << 3 << QStringLiteral("Failed to set data for 'X': no key is open.");
        QTest::newRow("read without an open key")
            << 4 << QStringLiteral("Failed to get data for 'X': no key is open.");
        QTest::newRow("value name with a line break")
            << 5
            << QStringLiteral("Failed to set data for 'a\nb'") + key
                + QStringLiteral("a value name cannot contain control characters.");
    }

    void errorsNameTheValue()
    {
        QFETCH(int, action);
        QFETCH(QString, message);
        TRegistry registry(FFile);
        QVERIFY(registry.OpenKey(
            QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0\\MainWindow"), true));
        registry.WriteString(QStringLiteral("MeasurementSystem"), QStringLiteral("0"));
        registry.WriteInteger(QStringLiteral("LCID"), 1033);
        TRegistry closed(FFile);
        const std::function<void()> actions[] = {
            [&] { registry.ReadInteger(QStringLiteral("MeasurementSystem")); },
            [&] { registry.ReadString(QStringLiteral("LCID")); },
            [&] { registry.ReadString(QStringLiteral("Nothing")); },
            [&] { closed.WriteInteger(QStringLiteral("X"), 1); },
            [&] { closed.ReadString(QStringLiteral("X")); },
            [&] { registry.WriteString(QStringLiteral("a\nb"), QString()); },
        };
        QCOMPARE(RegistryError(actions[action]), message);
        QCOMPARE(registry.GetValueNames().size(), 2); // nothing stored by the failure
    }

    void deleteKeyTakesTheSubtree()
    {
        TRegistry registry(FFile);
        QVERIFY(registry.OpenKey(QStringLiteral("\\S\\Scale1\\PortSettings\\Deep"), true));
        registry.WriteInteger(QStringLiteral("Baud"), 9600);
        QVERIFY(registry.CreateKey(QStringLiteral("\\S\\Scale2")));
        TRegistry remover(FFile);
        QVERIFY(remover.OpenKey(QStringLiteral("\\S"), false));
        QVERIFY(remover.DeleteKey(QStringLiteral("scale1")));
        QVERIFY(!remover.DeleteKey(QStringLiteral("Scale1")));
        QCOMPARE(remover.GetKeyNames(), QStringList{QStringLiteral("Scale2")});
        QVERIFY(!remover.KeyExists(QStringLiteral("\\S\\Scale1\\PortSettings")));
        QVERIFY(!remover.DeleteKey(QStringLiteral("\\")));

        // The accessor that had a deleted key open reads nothing and cannot write there.
        QVERIFY(!registry.ValueExists(QStringLiteral("Baud")));
        QCOMPARE(RegistryError([&] { registry.WriteInteger(QStringLiteral("Baud"), 1); }),
            QStringLiteral("Failed to set data for 'Baud' in \\S\\Scale1\\PortSettings\\Deep: "
                           "the key no longer exists."));
        QVERIFY(!registry.KeyExists(QStringLiteral("\\S\\Scale1")));
        // Recreating the path gives a new, empty key.
        QVERIFY(registry.OpenKey(QStringLiteral("\\S\\Scale1\\PortSettings\\Deep"), true));
        QVERIFY(registry.GetValueNames().isEmpty());
        TRawConnection raw(FFile);
        QCOMPARE(raw.Count("SELECT count(*) FROM reg_values"), 0);
    }

    void transactionSpansAccessors()
    {
        TRegistry definition(FFile);
        TRegistry port(FFile);
        {
            TRegistry::TTransaction transaction(definition);
            TRawConnection outside(FFile);
            QVERIFY(definition.OpenKey(QStringLiteral("\\Scales\\Scale1"), true));
            definition.WriteInteger(QStringLiteral("ScaleType"), 14);
            QVERIFY(port.OpenKey(QStringLiteral("\\Scales\\Scale1\\PortSettings"), true));
            port.WriteInteger(QStringLiteral("BaudRate"), 9600);
            QCOMPARE(port.ReadInteger(QStringLiteral("BaudRate")), 9600);
            // Nothing reaches the file before the commit.
            QCOMPARE(outside.Count("SELECT count(*) FROM reg_values"), 0);
        } // no Commit: an error went past
        QVERIFY(!TRegistry(FFile).KeyExists(QStringLiteral("\\Scales")));
        // The keys made in the rolled-back transaction are gone for their accessors too.
        QVERIFY(!port.ValueExists(QStringLiteral("BaudRate")));
        QVERIFY(RegistryError([&] {
            port.WriteInteger(QStringLiteral("BaudRate"), 1);
        }).endsWith(QStringLiteral("the key no longer exists.")));

        {
            TRegistry::TTransaction transaction(port);
            QVERIFY(definition.OpenKey(QStringLiteral("\\Scales\\Scale1"), true));
            definition.WriteInteger(QStringLiteral("ScaleType"), 13);
            QVERIFY(port.OpenKey(QStringLiteral("PortSettings"), false) == false);
            QVERIFY(port.OpenKey(QStringLiteral("\\Scales\\Scale1\\PortSettings"), true));
            port.WriteInteger(QStringLiteral("BaudRate"), 4800);
            transaction.Commit();
        }
        TRawConnection outside(FFile);
        QCOMPARE(outside.Count("SELECT count(*) FROM reg_values"), 2);
        // Outside a transaction every write reaches the file at once.
        definition.WriteInteger(QStringLiteral("NoOfChars"), 8);
        QCOMPARE(outside.Count("SELECT count(*) FROM reg_values"), 3);
    }

    void transactionsNest()
    {
        TRegistry registry(FFile);
        QVERIFY(registry.OpenKey(QStringLiteral("\\N"), true));
        {
            TRegistry::TTransaction outer(registry);
            registry.WriteInteger(QStringLiteral("Outer"), 1);
            {
                TRegistry::TTransaction inner(registry);
                registry.WriteInteger(QStringLiteral("Dropped"), 2);
                QVERIFY(registry.CreateKey(QStringLiteral("DroppedKey")));
            }
            {
                TRegistry::TTransaction inner(registry);
                registry.WriteInteger(QStringLiteral("Kept"), 3);
                inner.Commit();
            }
            outer.Commit();
        }
        QCOMPARE(registry.GetValueNames(),
            (QStringList{QStringLiteral("Outer"), QStringLiteral("Kept")}));
        QVERIFY(!registry.HasSubKeys());
        {
            TRegistry::TTransaction outer(registry);
            {
                TRegistry::TTransaction inner(registry);
                registry.WriteInteger(QStringLiteral("Inner"), 4);
                inner.Commit(); // only the outermost commit reaches the file
            }
        }
        QVERIFY(!registry.ValueExists(QStringLiteral("Inner")));
    }

    void lockedStore()
    {
        {
            TRegistry first(FFile);
            QVERIFY(first.OpenKey(QStringLiteral("\\K"), true));
            first.WriteInteger(QStringLiteral("V"), 1);
        } // closes the store
        TRegistry::SetBusyTimeout(100);
        TRawConnection other(FFile);
        QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        TRegistry registry(FFile);
        const QString opening
            = RegistryError([&] { registry.OpenKey(QStringLiteral("\\K"), false); });
        QVERIFY2(opening.startsWith(QStringLiteral("Cannot use the key store: the key store file ")
                     + FFile + QStringLiteral(" is locked by another program")),
            qPrintable(opening));
        QCOMPARE(other.Exec("COMMIT"), SQLITE_OK);

        // Once the lock is gone the same accessor works; a lock taken later fails each
        // operation on its own and leaves the store usable.
        QVERIFY(registry.OpenKey(QStringLiteral("\\K"), false));
        QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        const QString writing
            = RegistryError([&] { registry.WriteInteger(QStringLiteral("V"), 2); });
        QVERIFY2(writing.startsWith(
                     QStringLiteral("Failed to set data for 'V' in \\K: the key store file "))
                && writing.contains(QStringLiteral("is locked")),
            qPrintable(writing));
        QVERIFY(RegistryError([&] {
            TRegistry::TTransaction t(registry);
        }).contains(QStringLiteral("locked")));
        QVERIFY(RegistryError([&] {
            registry.ReadInteger(QStringLiteral("V"));
        }).contains(QStringLiteral("locked")));
        QCOMPARE(other.Exec("COMMIT"), SQLITE_OK);
        registry.WriteInteger(QStringLiteral("V"), 3);
        QCOMPARE(TRegistry(FFile).OpenKey(QStringLiteral("\\K"), false), true);
        QCOMPARE(registry.ReadInteger(QStringLiteral("V")), 3);
    }

    void damagedStore_data()
    {
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("fault");
        QTest::newRow("not a database") << 0 << QStringLiteral("is damaged or is not a key store");
        QTest::newRow("damaged page") << 1 << QStringLiteral("is damaged");
        QTest::newRow("another program's database")
            << 2 << QStringLiteral("database of another program");
        QTest::newRow("newer store format") << 3 << QStringLiteral("newer version of Pondrel");
        QTest::newRow("tables missing")
            << 4 << QStringLiteral("tables are not those of a key store");
    }

    void damagedStore()
    {
        QFETCH(int, damage);
        QFETCH(QString, fault);
        {
            TRegistry registry(FFile);
            QVERIFY(registry.OpenKey(QStringLiteral("\\Data"), true));
            TRegistry::TTransaction transaction(registry);
            for (int i = 0; i < 400; ++i)
                registry.WriteString(
                    QStringLiteral("Value%1").arg(i), QString(40, QLatin1Char('x')));
            transaction.Commit();
        }
        switch (damage) {
        case 0:
            WriteBytes(FFile, QByteArray("These bytes are no database at all.\n").repeated(200));
            break;
        case 1:
            WriteBytes(FFile, QByteArray(64, '\x55'), 3 * 4096); // inside the values' table
            break;
        case 2:
            QFile::remove(FFile);
            QVERIFY(TRawConnection(FFile).Exec("CREATE TABLE customers(id, name)") == SQLITE_OK);
            break;
        case 3:
            QCOMPARE(TRawConnection(FFile).Exec("PRAGMA user_version = 7"), SQLITE_OK);
            break;
        case 4:
            QCOMPARE(TRawConnection(FFile).Exec("DROP TABLE reg_values"), SQLITE_OK);
            break;
        }
        const QByteArray before = FileBytes(FFile);

        TRegistry registry(FFile);
        const QString message
            = RegistryError([&] { registry.OpenKey(QStringLiteral("\\Data"), true); });
        QVERIFY2(
            message.startsWith(QStringLiteral("Cannot use the key store: ")), qPrintable(message));
        QVERIFY2(message.contains(FFile), qPrintable(message));
        QVERIFY2(message.contains(fault), qPrintable(message));
        // Every way in fails the same, and the file stays as it was.
        QVERIFY(!RegistryError([&] { TRegistry::TTransaction t(registry); }).isEmpty());
        QVERIFY(!RegistryError([&] { registry.KeyExists(QStringLiteral("\\Data")); }).isEmpty());
        QCOMPARE(FileBytes(FFile), before);
        QVERIFY(!QFile::exists(FFile + QStringLiteral("-journal")));
    }

    void unwritableStore_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only file")
            << false << QStringLiteral(" is read-only. Make it writable");
        QTest::newRow("read-only folder")
            << true << QStringLiteral(" of the key store file cannot be written");
    }

    void unwritableStore()
    {
        QFETCH(bool, folder);
        QFETCH(QString, fault);
        if (::geteuid() == 0)
            QSKIP("Running as root, which writes through permission bits; tst_registrytool "
                  "covers this with an unprivileged child process.");
        {
            TRegistry registry(FFile);
            QVERIFY(registry.OpenKey(QStringLiteral("\\K"), true));
            registry.WriteInteger(QStringLiteral("Kept"), 7);
        }
        const QString target = folder ? QFileInfo(FFile).absolutePath() : FFile;
        QVERIFY(QFile::setPermissions(
            target, QFile::ReadOwner | (folder ? QFile::ExeOwner : QFile::Permissions())));
        const QByteArray before = FileBytes(FFile);

        TRegistry registry(FFile);
        QVERIFY(registry.OpenKey(QStringLiteral("\\K"), false)); // reading still works
        QCOMPARE(registry.ReadInteger(QStringLiteral("Kept")), 7);
        const QString message
            = RegistryError([&] { registry.WriteInteger(QStringLiteral("New"), 1); });
        QVERIFY2(message.startsWith(QStringLiteral("Failed to set data for 'New' in \\K: ")),
            qPrintable(message));
        QVERIFY2(message.contains(fault), qPrintable(message));
        QVERIFY2(message.contains(folder ? QFileInfo(FFile).absolutePath() : FFile),
            qPrintable(message));
        QVERIFY(!RegistryError([&] { registry.CreateKey(QStringLiteral("\\New")); }).isEmpty());
        QCOMPARE(FileBytes(FFile), before);
    }

    void unusableFolder()
    {
        // A file stands where the store's folder should be.
        WriteBytes(FDir->filePath(QStringLiteral("store")), "x");
        TRegistry registry(FFile);
        const QString message = RegistryError([&] { registry.KeyExists(QStringLiteral("\\K")); });
        QVERIFY2(message.contains(
                     FDir->filePath(QStringLiteral("store")) + QStringLiteral(" is not a folder")),
            qPrintable(message));
    }

    void killedWriterLeavesWholeGroups()
    {
        // Every committed group is complete after a kill at any moment, and none is lost.
        QRandomGenerator random(20240611);
        TRegistry reader(FFile);
        qint32 lastSeen = 0;
        for (int round = 0; round < 6; ++round) {
            QProcess child;
            child.start(
                QCoreApplication::applicationFilePath(), {QStringLiteral("--child-groups"), FFile});
            QVERIFY(child.waitForStarted());
            QVERIFY2(child.waitForReadyRead(10000), "the writer made no progress");
            QThread::msleep(random.bounded(5, 250));
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            const QList<QByteArray> reported = child.readAllStandardOutput().trimmed().split('\n');
            const qint32 committed = reported.last().toInt();
            QVERIFY(committed > lastSeen);

            QVERIFY(reader.OpenKey(QStringLiteral("\\Groups"), false));
            const qint32 group = reader.ReadInteger(QStringLiteral("A"));
            for (const QString& name : GroupValues)
                QCOMPARE(reader.ReadInteger(name), group);
            QVERIFY(reader.OpenKey(QStringLiteral("Sub"), false));
            QCOMPARE(reader.ReadString(QStringLiteral("E")), QString::number(group));
            // The child may have died between a commit and reporting it, not before.
            QVERIFY(group == committed || group == committed + 1);
            lastSeen = group;
        }
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--child-groups") == 0) {
        QCoreApplication app(argc, argv);
        return RunGroupWriter(QString::fromLocal8Bit(argv[2]));
    }
    IsolateUserFolders();
    QCoreApplication app(argc, argv);
    TestRegistry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry.moc"
