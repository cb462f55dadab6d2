#pragma once

#include <QString>

// Stand-in for the system's locale information service, answered from QLocale::system().
// It sits in the platform layer because the decoders and the definition record take
// their starting unit system from it.

// The user's measurement system as the locale service gives it: "0" metric, "1" U.S.
QString UserMeasurementText();

// 0 when UserMeasurementText() is "0", otherwise 1: only an explicit metric answer
// counts as metric.
int DefaultMeasurementSystem();
