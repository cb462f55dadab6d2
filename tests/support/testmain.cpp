#include "support/testmain.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

void IsolateUserFolders()
{
    // Lives for the whole process; removed when the test exits normally.
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/pondrel-test-XXXXXX"));
    const QByteArray root = home.path().toUtf8();
    const auto setFolder = [&](const char* variable, const char* sub) {
        const QByteArray path = root + sub;
        QDir().mkpath(QString::fromUtf8(path));
        ::setenv(variable, path.constData(), 1);
    };
    setFolder("HOME", "");
    setFolder("XDG_CONFIG_HOME", "/.config");
    setFolder("XDG_DATA_HOME", "/.local/share");
    setFolder("XDG_CACHE_HOME", "/.cache");
    setFolder("XDG_RUNTIME_DIR", "/runtime");
    QFile::setPermissions(QString::fromUtf8(root + "/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
