#include "support/testmain.h"

#include <QObject>

class TestDMScale : public QObject {
    Q_OBJECT
};

PONDREL_TEST_MAIN(TestDMScale)
#include "tst_dmscale.moc"
