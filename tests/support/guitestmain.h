#pragma once

#include "support/testmain.h"

#include <QApplication>

// PONDREL_TEST_MAIN for tests that create widgets.
#define PONDREL_GUI_TEST_MAIN(TestObject)                                                          \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        IsolateUserFolders();                                                                      \
        QApplication app(argc, argv);                                                              \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
