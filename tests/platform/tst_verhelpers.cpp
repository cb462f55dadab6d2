#include "platform/verhelpers.h"

#include "support/testmain.h"

class TestVerhelpers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SetVersionBlockAbsentForTesting(false); }

    void queryVersionString_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("product name") << "ProductName" << "Pondrel";
        QTest::newRow("product version") << "ProductVersion" << "2.0";
        QTest::newRow("file version") << "FileVersion" << "2.0.13.12";
        QTest::newRow("company") << "CompanyName" << "Holbrin";
        QTest::newRow("missing string") << "NoSuchString" << "";
        QTest::newRow("empty name") << "" << "";
    }
    void queryVersionString()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const auto block = GetVersionBlock();
        QVERIFY(block);
        QCOMPARE(QueryVersionString(block.get(), name), expected);
        QCOMPARE(QueryVersionString(nullptr, name), QString());
    }

    // The rows run in turn in one process: the texts follow the block on every call.
    void rootPathAndCaption_data()
    {
        QTest::addColumn<bool>("absent");
        QTest::addColumn<QString>("rootPath");
        QTest::addColumn<QString>("caption");
        QTest::newRow("with version block") << false << "\\Software\\Holbrin\\Pondrel\\2.0"
                                            << "Pondrel 2.0";
        QTest::newRow("without version block") << true << "\\Software\\Holbrin\\" << "";
        QTest::newRow("block back again") << false << "\\Software\\Holbrin\\Pondrel\\2.0"
                                          << "Pondrel 2.0";
    }
    void rootPathAndCaption()
    {
        QFETCH(bool, absent);
        QFETCH(QString, rootPath);
        QFETCH(QString, caption);
        SetVersionBlockAbsentForTesting(absent);
        QCOMPARE(GetVersionBlock() == nullptr, absent);
        QCOMPARE(RegistryRootPath(), rootPath);
        QCOMPARE(CaptionText(), caption);
    }
};

PONDREL_TEST_MAIN(TestVerhelpers)
#include "tst_verhelpers.moc"
