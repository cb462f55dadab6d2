#pragma once

#include <QString>

// The serial port parameters of one scale definition, owned by its THbScaleSettings.
// Codes: Parity 0 none, 1 odd, 2 even, 3 mark, 4 space; StopBits 0 one, 1 one and a
// half, 2 two; PortNumber 1 is COM1 and 0 means no port chosen. TimeOut is decimal text.
class THbComPortSettings {
public:
    QString KeyPath;
    int PortNumber = 0;
    int BaudRate = 9600;
    int Parity = 0;
    int WordLength = 8;
    int StopBits = 0;
    QString TimeOut = QStringLiteral("5000");
};
