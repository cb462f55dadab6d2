#include <QByteArray>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The benchmarks write definitions and settings: HOME and the XDG folders point at a
// temporary folder before anything can open the user's own store.
bool IsolateUserFolders(const QTemporaryDir& home)
{
    const QByteArray root = home.path().toUtf8();
    const auto setFolder = [&](const char* variable, const char* sub) {
        const QByteArray path = root + sub;
        return QDir().mkpath(QString::fromUtf8(path)) && ::setenv(variable, path.constData(), 1) == 0;
    };
    return setFolder("HOME", "") && setFolder("XDG_CONFIG_HOME", "/.config")
           && setFolder("XDG_DATA_HOME", "/.local/share") && setFolder("XDG_CACHE_HOME", "/.cache")
           && setFolder("XDG_RUNTIME_DIR", "/runtime")
           && QFile::setPermissions(QString::fromUtf8(root + "/runtime"),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

// The capture posts events, which needs an application object; the station's benchmark
// needs widgets, drawn off screen unless a platform is chosen.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QTemporaryDir home(QDir::tempPath() + QStringLiteral("/pondrel-bench-XXXXXX"));
    if (!home.isValid() || !IsolateUserFolders(home)) {
        std::fprintf(stderr, "Cannot set up a temporary home folder for the benchmarks.\n");
        return 1;
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
