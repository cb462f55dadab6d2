#include "support/testmain.h"

#include <QObject>

class TestScaleSettings : public QObject {
    Q_OBJECT
};

PONDREL_TEST_MAIN(TestScaleSettings)
#include "tst_scalesettings.moc"
