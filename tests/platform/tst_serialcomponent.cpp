#include "support/testmain.h"

#include <QObject>

class TestSerialComponent : public QObject {
    Q_OBJECT
};

PONDREL_TEST_MAIN(TestSerialComponent)
#include "tst_serialcomponent.moc"
