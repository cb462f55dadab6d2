#include "support/packetrecorder.h"
#include "support/testmain.h"

#include "definitions/scalesettings.h"
#include "platform/scalepacketevent.h"
#include "scale/dmscale.h"

#include <QObject>

#include <atomic>
#include <thread>

// The capture runs on the serial worker thread while the main thread retunes the framing
// strings, the raw-data flag and the listener. Run under ThreadSanitizer in CI; here it
// also checks that every framed packet was cut by strings that were set at the time.
class TestCaptureStress : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void framingChangesWhileChunksStream();
};

void TestCaptureStress::framingChangesWhileChunksStream()
{
    TDMScale scale;
    TPacketRecorder first;
    TPacketRecorder second;
    scale.Definition().SetStartString(QStringLiteral("^B"));
    scale.Definition().SetEndString(QStringLiteral("^M^J"));
    scale.SetListenerWindow(&first);

    std::atomic<bool> stop{false};
    std::atomic<int> chunks{0};
    std::thread worker([&] {
        // Packets cut into uneven chunks, as a serial driver hands them over.
        const QByteArray stream("\x02+  12340kgG  \r\n\x02-     5kgN M\r\n");
        qsizetype at = 0;
        int size = 1;
        while (!stop.load()) {
            const qsizetype n = qMin<qsizetype>(size, stream.size() - at);
            scale.nrComm1AfterReceive(stream.constData() + at, n);
            at = (at + n) % stream.size();
            size = size % 7 + 1;
            chunks.fetch_add(1, std::memory_order_relaxed);
        }
    });

    // Thousands of changes, and at least as long as it takes the worker to stream a
    // few thousand packets through them.
    for (int i = 0; i < 5000 || chunks.load(std::memory_order_relaxed) < 200000; ++i) {
        const bool crlf = i % 2 == 0;
        scale.Definition().SetStartString(crlf ? QStringLiteral("^B") : QStringLiteral("'+'"));
        scale.Definition().SetEndString(crlf ? QStringLiteral("^M^J") : QStringLiteral("^J"));
        scale.SetPassRawData(i % 3 == 0);
        if (i % 10 == 0)
            scale.SetListenerWindow(i % 20 == 0 ? &second : &first);
        (void)scale.ReceiveBuffer();
    }
    stop = true;
    worker.join();

    QCoreApplication::sendPostedEvents();
    const QStringList framed = first.Framed() + second.Framed();
    QVERIFY(!framed.isEmpty());
    for (const QString& packet : framed) {
        // Start and end are set one after the other, so every mix of the two pairs occurs.
        QVERIFY2(packet.startsWith(QChar(2)) || packet.startsWith(QLatin1Char('+')),
                 qPrintable(packet));
        QVERIFY2(packet.endsWith(QLatin1Char('\n')), qPrintable(packet));
        QVERIFY(packet.size() <= 50 + 7);
    }
}

PONDREL_TEST_MAIN(TestCaptureStress)
#include "tst_capturestress.moc"
