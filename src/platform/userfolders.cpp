#include "platform/userfolders.h"

#include <QDir>
#include <QFileInfo>
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

QString LayoutFilePath(const QString& dataFolder, const QString& caption)
{
    // A new account may not have its data folder yet.
    QDir().mkpath(dataFolder);
    const QDir data(dataFolder);
    if (caption.isEmpty())
        return data.filePath(QStringLiteral("ui.ini"));
    if (!QFileInfo(data.filePath(caption)).isDir() && !data.mkdir(caption))
        return data.filePath(caption + QStringLiteral("_ui.ini"));
    return QDir(data.filePath(caption)).filePath(QStringLiteral("ui.ini"));
}
