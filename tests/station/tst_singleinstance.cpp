#include "app/singleinstance.h"

#include "support/testmain.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

class TestSingleInstance : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void secondStartRaisesTheFirst()
    {
        TSingleInstance first;
        int raised = 0;
        first.SetRaiseHandler([&raised] { ++raised; });
        QCOMPARE(first.Start(), TSingleInstance::TStart::First);

        TSingleInstance second;
        QCOMPARE(second.Start(), TSingleInstance::TStart::AlreadyRunning);
        QTRY_COMPARE(raised, 1);
    }

    void startAfterTheStationEnded()
    {
        {
            TSingleInstance ended;
            QCOMPARE(ended.Start(), TSingleInstance::TStart::First);
        }
        TSingleInstance next;
        QCOMPARE(next.Start(), TSingleInstance::TStart::First);
    }

    void unwritableFolderIsReported()
    {
        const QString config =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QFile blocker(config + QStringLiteral("/pondrel"));
        QDir(config + QStringLiteral("/pondrel")).removeRecursively();
        QVERIFY(QDir().mkpath(config));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        TSingleInstance instance;
        QCOMPARE(instance.Start(), TSingleInstance::TStart::Failed);
        QVERIFY2(instance.ErrorText().contains(QStringLiteral("pondrel")),
                 qPrintable(instance.ErrorText()));
        QVERIFY(blocker.remove());
    }
};

PONDREL_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
