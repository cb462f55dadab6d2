#pragma once

// Stored definitions and COM port links for the tests that open ports. Header-only, for
// the tests that link the definition records.

#include "definitions/scalesettings.h"
#include "platform/comports.h"

#include <QDir>
#include <QFile>
#include <QString>

// Makes COM<portNumber> the device, as a technician links an adapter.
inline bool LinkComPort(int portNumber, const QString& device)
{
    const QString folder = PortLinkFolder();
    const QString link = folder + QStringLiteral("/COM") + QString::number(portNumber);
    QFile::remove(link);
    return QDir().mkpath(folder) && QFile::link(device, link);
}

// Stores a definition of the indicator type on COM<portNumber> (0: none), metric, as the
// editor saves one. 8 data bits and no parity, the only setting a pseudo-terminal takes.
inline void StoreDefinition(const QString& name, int scaleType, int portNumber,
                            const QString& timeOut = QString())
{
    THbScaleSettings record;
    record.SelectScale(name);
    record.SetMeasurementSystem(0);
    record.ApplyTypePreset(scaleType);
    record.ScaleType = scaleType;
    record.SetPortNumber(portNumber);
    record.SetWordLength(8);
    record.SetParity(0);
    if (!timeOut.isNull())
        record.SetTimeOut(timeOut);
    record.SaveDefinition();
    record.CloseDefinition();
}

// The "Scale1" the station connects at start, without a port, so a start opens nothing.
inline void StorePortlessScale1()
{
    StoreDefinition(QStringLiteral("Scale1"), stUserDefined, 0);
}
