#include "support/testmain.h"

#include <QObject>

class TestDisplayWeight : public QObject {
    Q_OBJECT
};

PONDREL_TEST_MAIN(TestDisplayWeight)
#include "tst_displayweight.moc"
