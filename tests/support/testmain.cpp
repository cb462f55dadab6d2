#include "support/testmain.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

bool IsolateUserFolders()
{
    // Lives for the whole process; removed when the process exits normally.
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/pondrel-test-XXXXXX"));
    if (!home.isValid())
        return false;
    const QByteArray root = home.path().toUtf8();
    const auto setFolder = [&](const char* variable, const char* sub) {
        const QByteArray path = root + sub;
        return QDir().mkpath(QString::fromUtf8(path))
            && ::setenv(variable, path.constData(), 1) == 0;
    };
    return setFolder("HOME", "") && setFolder("XDG_CONFIG_HOME", "/.config")
        && setFolder("XDG_DATA_HOME", "/.local/share") && setFolder("XDG_CACHE_HOME", "/.cache")
        && setFolder("XDG_RUNTIME_DIR", "/runtime")
        && QFile::setPermissions(QString::fromUtf8(root + "/runtime"),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
