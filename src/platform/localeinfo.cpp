#include "platform/localeinfo.h"

#include <QLocale>

QString UserMeasurementText()
{
    // As the Windows locale service answers: only the U.S. system counts as "1"; the
    // United Kingdom weighs in kilograms.
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem
               ? QStringLiteral("1")
               : QStringLiteral("0");
}

int DefaultMeasurementSystem()
{
    return UserMeasurementText() == QLatin1String("0") ? 0 : 1;
}
