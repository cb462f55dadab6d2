#pragma once

#include <QCoreApplication>
#include <QTest>

// Points HOME and the XDG folders at a fresh temporary folder for this process, so a
// test never reads or writes the user's own files. Call before QCoreApplication exists.
// False when the folders could not be set up.
bool IsolateUserFolders();

// QTEST_GUILESS_MAIN with isolated user folders.
#define PONDREL_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        IsolateUserFolders();                                                                      \
        QCoreApplication app(argc, argv);                                                          \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
