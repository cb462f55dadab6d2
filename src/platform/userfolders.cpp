#include "platform/userfolders.h"

#include <QDir>
#include <QStandardPaths>
#include <QtGlobal>

QString ApplicationDataFolder()
{
#ifdef Q_OS_WIN
    // Qt's data locations are the local, not the roaming, folder.
    const QString roaming = qEnvironmentVariable("APPDATA");
    if (!roaming.isEmpty())
        return QDir::cleanPath(QDir::fromNativeSeparators(roaming));
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}
