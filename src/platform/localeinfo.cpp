#include "platform/localeinfo.h"

#include <QLocale>

QString UserMeasurementText()
{
    return QLocale::system().measurementSystem() == QLocale::MetricSystem ? QStringLiteral("0")
                                                                          : QStringLiteral("1");
}

int DefaultMeasurementSystem()
{
    return UserMeasurementText() == QLatin1String("0") ? 0 : 1;
}
