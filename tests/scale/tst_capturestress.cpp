#include "support/testmain.h"

#include <QObject>

class TestCaptureStress : public QObject {
    Q_OBJECT
};

PONDREL_TEST_MAIN(TestCaptureStress)
#include "tst_capturestress.moc"
