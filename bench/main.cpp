#include "support/testmain.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

// The benchmarks write definitions and settings, so they run in temporary user folders.
// The capture posts events, which needs an application object; the station's benchmark
// needs widgets, drawn off screen unless a platform is chosen.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!IsolateUserFolders()) {
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
