#include "platform/registry.h"
#include "platform/registryfile.h"
#include "support/testmain.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

namespace {

// The tree below path as lines, read through the accessor alone, so the file code is
// checked against something it did not write.
QStringList Dump(TRegistry& registry, const QString& path)
{
    QStringList lines;
    if (!registry.OpenKey(path, false))
        return lines;
    lines.append(QLatin1Char('[') + registry.CurrentPath() + QLatin1Char(']'));
    const QStringList values = registry.GetValueNames();
    for (const QString& name : values) {
        switch (registry.GetDataType(name)) {
        case TRegDataType::rdInteger:
            lines.append(
                name + QStringLiteral(" dword ") + QString::number(registry.ReadInteger(name)));
            break;
        case TRegDataType::rdString:
            lines.append(name + QStringLiteral(" sz ") + registry.ReadString(name));
            break;
        case TRegDataType::rdExpandString:
            lines.append(name + QStringLiteral(" expand_sz ") + registry.ReadString(name));
            break;
        case TRegDataType::rdUnknown:
            lines.append(name + QStringLiteral(" unknown"));
            break;
        }
    }
    const QString stored = registry.CurrentPath();
    const QStringList subkeys = registry.GetKeyNames();
    for (const QString& subkey : subkeys)
        lines += Dump(registry, QLatin1Char('\\') + stored + QLatin1Char('\\') + subkey);
    return lines;
}

QByteArray Utf16(const QByteArray& utf8)
{
    const QString text = QString::fromUtf8(utf8);
    QByteArray bytes("\xff\xfe");
    for (const QChar c : text) {
        bytes += char(c.unicode() & 0xff);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

} // namespace

class TestRegistryFile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TRegistry> FRegistry;

    void Fill()
    {
        TRegistry& r = *FRegistry;
        QVERIFY(
            r.OpenKey(QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0\\Scales\\Scale1"), true));
        r.WriteString(QStringLiteral("ScaleName"), QStringLiteral("Scale1"));
        r.WriteInteger(QStringLiteral("ScaleType"), 15);
        r.WriteInteger(QStringLiteral("Negative"), -1);
        r.WriteString(QStringLiteral("Quote \"and\" \\"), QStringLiteral("C:\\Path \"x\""));
        r.WriteString(QStringLiteral("Lines"), QStringLiteral("one\r\ntwo"));
        r.WriteString(QStringLiteral("Empty"), QString());
        r.WriteString(QString(), QStringLiteral("default \u00e9\U0001F600"));
        r.WriteExpandString(
            QStringLiteral("Help"), QStringLiteral("%ProgramFiles%\\Holbrin\\Help\\tallyon15.chm"));
        QVERIFY(r.OpenKey(QStringLiteral("PortSettings"), true));
        r.WriteInteger(QStringLiteral("BaudRate"), 9600);
        QVERIFY(r.CreateKey(QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0\\Scales\\a[b]c")));
        QVERIFY(r.CreateKey(QStringLiteral("\\Software\\Other")));
        r.CloseKey();
    }

private Q_SLOTS:
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        FRegistry = std::make_unique<TRegistry>(FDir->filePath(QStringLiteral("registry.db")));
    }

    void cleanup()
    {
        FRegistry.reset();
        FDir.reset();
    }

    void exportsAsTheRegistryEditor()
    {
        QVERIFY(FRegistry->OpenKey(QStringLiteral("\\Software\\Holbrin\\B"), true));
        FRegistry->WriteInteger(QStringLiteral("Count"), 10);
        FRegistry->WriteString(QStringLiteral("Text"), QStringLiteral("a\\b \"c\""));
        FRegistry->WriteExpandString(
            QStringLiteral("Path"), QStringLiteral("%TEMP%\\pondrel\\files\\x"));
        FRegistry->WriteString(QString(), QStringLiteral("d"));
        QVERIFY(FRegistry->CreateKey(QStringLiteral("\\Software\\Holbrin\\a")));
        QVERIFY(FRegistry->CreateKey(QStringLiteral("\\Software\\Holbrin\\B\\Sub")));
        const QByteArray expected
            = "Windows Registry Editor Version 5.00\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Holbrin]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Holbrin\\a]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Holbrin\\B]\r\n"
              "\"Count\"=dword:0000000a\r\n"
              "\"Text\"=\"a\\\\b \\\"c\\\"\"\r\n"
              "\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,70,00,6f,00,6e,00,64,"
              "\\\r\n"
              "  00,72,00,65,00,6c,00,5c,00,66,00,69,00,6c,00,65,00,73,00,5c,00,78,00,00,00\r\n"
              "@=\"d\"\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Holbrin\\B\\Sub]\r\n"
              "\r\n";
        const QByteArray text
            = ExportRegistryText(*FRegistry, QStringLiteral("\\software\\holbrin"));
        QCOMPARE(text, expected);
        QVERIFY(!FRegistry->HasOpenKey());
        QCOMPARE(ExportRegistryText(
                     *FRegistry, QStringLiteral("\\Software\\Holbrin"), TRegFileEncoding::Utf16),
            Utf16(expected));
        QVERIFY(ExportRegistryText(*FRegistry, QStringLiteral("\\"))
                    .startsWith(
                        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n"
                        "[HKEY_CURRENT_USER\\Software]\r\n"));
        try {
            ExportRegistryText(*FRegistry, QStringLiteral("\\Software\\Missing"));
            QFAIL("a missing key exported");
        } catch (const ERegistryException& e) {
            QCOMPARE(e.Message(),
                QStringLiteral("Nothing to export: the key \\Software\\Missing does not exist."));
        }
    }

    void roundTrip_data()
    {
        QTest::addColumn<bool>("utf16");
        QTest::newRow("UTF-8") << false;
        QTest::newRow("UTF-16") << true;
    }

    void roundTrip()
    {
        QFETCH(bool, utf16);
        Fill();
        const QString root = QStringLiteral("\\Software\\Holbrin");
        const QStringList before = Dump(*FRegistry, root);
        QCOMPARE(before.size(), 16);
        const QByteArray text = ExportRegistryText(
            *FRegistry, root, utf16 ? TRegFileEncoding::Utf16 : TRegFileEncoding::Utf8);
        QVERIFY(FRegistry->DeleteKey(root));
        QVERIFY(Dump(*FRegistry, root).isEmpty());
        ImportRegistryKeys(*FRegistry, ParseRegistryText(text));
        QCOMPARE(Dump(*FRegistry, root), before);
        QVERIFY(FRegistry->KeyExists(QStringLiteral("\\Software\\Other"))); // outside: untouched
    }

    void importsAWindowsExport()
    {
        // As the Windows registry editor writes it: UTF-16LE with BOM, wrapped hex, and the
        // deletion forms; values already stored and not named stay.
        QVERIFY(FRegistry->OpenKey(
            QStringLiteral("\\Software\\Holbrin\\Pondrel\\2.0\\MainWindow"), true));
        FRegistry->WriteString(QStringLiteral("Kept"), QStringLiteral("yes"));
        FRegistry->WriteString(QStringLiteral("PreviewTickets"), QStringLiteral("1"));
        QVERIFY(FRegistry->CreateKey(QStringLiteral("\\Software\\Holbrin\\Old\\Deep")));
        const QByteArray file
            = Utf16("Windows Registry Editor Version 5.00\r\n"
                    "\r\n"
                    "; copied from the weighbridge office\r\n"
                    "[-HKEY_CURRENT_USER\\Software\\Holbrin\\Old]\r\n"
                    "\r\n"
                    "[hkey_current_user\\Software\\Holbrin\\Pondrel\\2.0\\MainWindow]\r\n"
                    "\"PreviewTickets\"=-\r\n"
                    "\"Country\"=\"Deutsch (Deutschland)\"\r\n"
                    "\"LCID\"=dword:00000407\r\n"
                    "\"Raw\"=hex(4):01,02,00,80\r\n"
                    "\"Help\"=hex(2):25,00,41,00,25,00,5c,00,\\\r\n"
                    "  62,00,00,00\r\n"
                    "\"Multi\"=hex(1):61,00,0a,00,62,00,00,00\r\n"
                    "  @ = \"default\"  \r\n"
                    "\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Holbrin\\Pondrel\\2.0\\Scales\\Scale1]\r\n"
                    "\r\n");
        ImportRegistryKeys(*FRegistry, ParseRegistryText(file));
        QCOMPARE(Dump(*FRegistry, QStringLiteral("\\Software\\Holbrin")),
            (QStringList{QStringLiteral("[Software\\Holbrin]"),
                QStringLiteral("[Software\\Holbrin\\Pondrel]"),
                QStringLiteral("[Software\\Holbrin\\Pondrel\\2.0]"),
                QStringLiteral("[Software\\Holbrin\\Pondrel\\2.0\\MainWindow]"),
                QStringLiteral("Kept sz yes"), QStringLiteral("Country sz Deutsch (Deutschland)"),
                QStringLiteral("LCID dword 1031"), QStringLiteral("Raw dword -2147483135"),
                QStringLiteral("Help expand_sz %A%\\b"), QStringLiteral("Multi sz a\nb"),
                QStringLiteral(" sz default"),
                QStringLiteral("[Software\\Holbrin\\Pondrel\\2.0\\Scales]"),
                QStringLiteral("[Software\\Holbrin\\Pondrel\\2.0\\Scales\\Scale1]")}));
    }

    void faultsNameTheLine_data()
    {
        QTest::addColumn<QByteArray>("body"); // after the header line and a blank line
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("fault");
        QTest::newRow("value before any key")
            << QByteArray("\"A\"=\"x\"\n") << 3 << QStringLiteral("before the first key");
        QTest::newRow("other root") << QByteArray("[HKEY_LOCAL_MACHINE\\Software]\n") << 3
                                    << QStringLiteral("not HKEY_LOCAL_MACHINE");
        QTest::newRow("unknown root") << QByteArray("[Software\\Holbrin]\n") << 3
                                      << QStringLiteral("must start with HKEY_CURRENT_USER");
        QTest::newRow("unclosed key line")
            << QByteArray("[HKEY_CURRENT_USER\\A\n") << 3 << QStringLiteral("must end with ']'");
        QTest::newRow("empty key name")
            << QByteArray("[HKEY_CURRENT_USER\\A\\\\B]\n") << 3 << QStringLiteral("empty key name");
        QTest::newRow("513 levels") << "[HKEY_CURRENT_USER" + QByteArray("\\k").repeated(513)
                + "]\n" << 3 << QStringLiteral("more than 512 levels deep");
        QTest::newRow("root deletion")
            << QByteArray("[-HKEY_CURRENT_USER]\n") << 3 << QStringLiteral("cannot be deleted");
        QTest::newRow("value after a deletion") << QByteArray("[-HKEY_CURRENT_USER\\A]\n\"X\"=-\n")
                                                << 4 << QStringLiteral("follows a key deletion");
        QTest::newRow("unterminated text") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=\"abc\n")
                                           << 4 << QStringLiteral("text has no closing quote");
        QTest::newRow("unterminated name") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X=1\n") << 4
                                           << QStringLiteral("value name has no closing quote");
        QTest::newRow("unknown escape") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=\"a\\nb\"\n")
                                        << 4 << QStringLiteral("escape '\\n'");
        QTest::newRow("text after the quote")
            << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=\"a\" b\n") << 4
            << QStringLiteral("after the closing quote");
        QTest::newRow("missing equals sign") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\" \"a\"\n")
                                             << 4 << QStringLiteral("'=' must follow");
        QTest::newRow("long dword") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=dword:000000001\n")
                                    << 4 << QStringLiteral("1 to 8 hexadecimal digits");
        QTest::newRow("dword not hex") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=dword:12g\n")
                                       << 4 << QStringLiteral("1 to 8 hexadecimal digits");
        QTest::newRow("binary value")
            << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=hex:01,02\n") << 4
            << QStringLiteral("REG_BINARY values (hex) cannot be kept");
        QTest::newRow("multi-string value")
            << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=hex(7):00,00\n") << 4
            << QStringLiteral("REG_MULTI_SZ");
        QTest::newRow("odd text bytes")
            << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=hex(2):41,00,42\n") << 4
            << QStringLiteral("odd number of bytes");
        QTest::newRow("bad byte on a continuation line")
            << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=hex(2):41,00,\\\n  42,0x\n") << 5
            << QStringLiteral("'0x' is not a byte");
        QTest::newRow("continuation past the end")
            << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=hex(2):41,00,\\\n") << 4
            << QStringLiteral("past the end");
        QTest::newRow("short hex(4)") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=hex(4):01,02\n")
                                      << 4 << QStringLiteral("exactly 4 bytes");
        QTest::newRow("unknown data") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=42\n") << 4
                                      << QStringLiteral("unknown value data");
        QTest::newRow("stray line") << QByteArray("[HKEY_CURRENT_USER\\A]\nX=1\n") << 4
                                    << QStringLiteral("neither a key line");
        QTest::newRow("control character in a name") << QByteArray("[HKEY_CURRENT_USER\\A\tB]\n")
                                                     << 3 << QStringLiteral("control characters");
        QTest::newRow("invalid UTF-8") << QByteArray("[HKEY_CURRENT_USER\\A]\n\"X\"=\"\xff\"\n")
                                       << 4 << QStringLiteral("not valid UTF-8");
    }

    void faultsNameTheLine()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, line);
        QFETCH(QString, fault);
        for (const bool utf16 : {false, true}) {
            if (utf16 && QTest::currentDataTag() == QLatin1String("invalid UTF-8"))
                continue;
            const QByteArray text = "Windows Registry Editor Version 5.00\n\n" + body;
            try {
                ParseRegistryText(utf16 ? Utf16(text) : text);
                QFAIL("the fault went unnoticed");
            } catch (const ERegFileError& e) {
                QCOMPARE(e.Line(), line);
                QVERIFY2(e.Message().startsWith(QStringLiteral("Line %1: ").arg(line)),
                    qPrintable(e.Message()));
                QVERIFY2(e.Message().contains(fault), qPrintable(e.Message()));
            }
        }
    }

    void headerFaults_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("fault");
        QTest::newRow("empty file") << QByteArray() << QStringLiteral("the file is empty");
        QTest::newRow("REGEDIT4") << QByteArray("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n")
                                  << QStringLiteral("REGEDIT4 files are not supported");
        QTest::newRow("other text")
            << QByteArray("[HKEY_CURRENT_USER\\A]\n") << QStringLiteral("first line must be");
        QTest::newRow("big-endian UTF-16")
            << QByteArray("\xfe\xff\0W", 4) << QStringLiteral("big-endian");
        QTest::newRow("cut UTF-16")
            << QByteArray("\xff\xfeW\0i", 5) << QStringLiteral("odd number of bytes");
    }

    void headerFaults()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, fault);
        try {
            ParseRegistryText(text);
            QFAIL("the fault went unnoticed");
        } catch (const ERegFileError& e) {
            QCOMPARE(e.Line(), 1);
            QVERIFY2(e.Message().contains(fault), qPrintable(e.Message()));
        }
    }

    void importIsOneTransaction()
    {
        // A store error halfway leaves the store as it was before the import.
        QVERIFY(FRegistry->OpenKey(QStringLiteral("\\Software\\Holbrin"), true));
        FRegistry->WriteInteger(QStringLiteral("Before"), 1);
        const QStringList before = Dump(*FRegistry, QStringLiteral("\\"));
        QList<TRegFileKey> keys = ParseRegistryText(
            "Windows Registry Editor Version 5.00\n\n"
            "[-HKEY_CURRENT_USER\\Software\\Holbrin]\n"
            "[HKEY_CURRENT_USER\\Software\\Holbrin\\New]\n\"A\"=dword:00000001\n");
        TRegFileValue bad;
        bad.Name = QStringLiteral("bad\nname"); // the parser refuses this; the store does too
        bad.Type = TRegDataType::rdString;
        keys.last().Values.append(bad);
        QVERIFY_THROWS_EXCEPTION(ERegistryException, ImportRegistryKeys(*FRegistry, keys));
        QVERIFY(!FRegistry->HasOpenKey());
        QCOMPARE(Dump(*FRegistry, QStringLiteral("\\")), before);
    }

    void keyArguments_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("path"); // empty: refused
        QTest::newRow("absolute") << QStringLiteral("\\Software\\Holbrin")
                                  << QStringLiteral("\\Software\\Holbrin");
        QTest::newRow("relative") << QStringLiteral("Software\\Holbrin\\")
                                  << QStringLiteral("\\Software\\Holbrin");
        QTest::newRow("with the root key")
            << QStringLiteral("hkey_current_user\\Software") << QStringLiteral("\\Software");
        QTest::newRow("the root key")
            << QStringLiteral("HKEY_CURRENT_USER") << QStringLiteral("\\");
        QTest::newRow("doubled backslash") << QStringLiteral("\\Software\\\\Holbrin") << QString();
    }

    void keyArguments()
    {
        QFETCH(QString, argument);
        QFETCH(QString, path);
        QString problem;
        QCOMPARE(AbsoluteKeyPath(argument, &problem), path);
        QCOMPARE(problem.isEmpty(), !path.isEmpty());
    }
};

PONDREL_TEST_MAIN(TestRegistryFile)

#include "tst_registryfile.moc"
