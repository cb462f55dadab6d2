#include "support/testmain.h"

#include <QObject>

class TestComPorts : public QObject {
    Q_OBJECT
};

PONDREL_TEST_MAIN(TestComPorts)
#include "tst_comports.moc"
