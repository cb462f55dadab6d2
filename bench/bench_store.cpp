#include "definitions/scalesettings.h"

#include <QStringList>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int StoredDefinitions = 100;

QString NameOf(int index)
{
    return QStringLiteral("Scale%1").arg(index, 3, 10, QLatin1Char('0'));
}

// 100 definitions of every indicator type, written once into the benchmark's own store
// (main() points the user folders at a temporary folder).
bool FillStore()
{
    static const bool filled = [] {
        for (int i = 0; i < StoredDefinitions; ++i) {
            THbScaleSettings definition;
            if (!definition.SelectScale(NameOf(i)))
                return false;
            definition.ScaleType = i % ScaleTypeCount;
            definition.ApplyTypePreset(definition.ScaleType);
            definition.SetPortNumber(i % 8 + 1);
            definition.SaveDefinition();
            definition.CloseDefinition();
        }
        return true;
    }();
    return filled;
}

// The store's connection lives as long as one accessor has used it. In the program the main
// window's and the scale module's records keep it open; argument 1 does the same, argument 0
// measures the first use, which opens the store file.
std::unique_ptr<THbScaleSettings> ResidentRecord(const benchmark::State& state)
{
    if (state.range(0) == 0)
        return nullptr;
    auto record = std::make_unique<THbScaleSettings>();
    record->SelectScale(NameOf(0));
    record->CloseDefinition();
    return record;
}

// What the main window and the scale connection do to read one definition.
void BM_SelectLoadCloseDefinition(benchmark::State& state)
{
    if (!FillStore()) {
        state.SkipWithError("the store could not be filled");
        return;
    }
    const auto resident = ResidentRecord(state);
    auto definition = std::make_unique<THbScaleSettings>();
    const QString name = NameOf(StoredDefinitions / 2);
    for (auto _ : state) {
        definition->SelectScale(name);
        definition->LoadDefinition();
        definition->CloseDefinition();
        if (!resident) {
            // A fresh record, so that the connection closes with the old one.
            state.PauseTiming();
            definition = std::make_unique<THbScaleSettings>();
            state.ResumeTiming();
        }
    }
    benchmark::DoNotOptimize(definition->ScaleType);
}
BENCHMARK(BM_SelectLoadCloseDefinition)->ArgName("resident")->Arg(0)->Arg(1)
    ->Unit(benchmark::kMicrosecond);

// The editor's list of definitions.
void BM_ListScales(benchmark::State& state)
{
    if (!FillStore()) {
        state.SkipWithError("the store could not be filled");
        return;
    }
    const auto resident = ResidentRecord(state);
    QStringList list;
    for (auto _ : state) {
        ListScales(list);
        benchmark::DoNotOptimize(list.constData());
    }
    if (list.size() != StoredDefinitions)
        state.SkipWithError("ListScales did not list the stored definitions");
}
BENCHMARK(BM_ListScales)->ArgName("resident")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
