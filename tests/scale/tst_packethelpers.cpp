#include "support/testmain.h"

#include <QObject>

class TestPacketHelpers : public QObject {
    Q_OBJECT
};

PONDREL_TEST_MAIN(TestPacketHelpers)
#include "tst_packethelpers.moc"
