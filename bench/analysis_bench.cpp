// Input analysis must read headers only, so its time must not grow with the input's size.
// Usage: analysis_bench SMALL.wav LARGE.wav [benchmark options]
#include "drivers/built_in_drivers.h"
#include "engine/converter_engine.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

void AnalyzeFull(benchmark::State& state, const std::string& path)
{
    cantrix::ConverterEngine engine;
    for (auto _ : state) {
        if (!engine.AnalyzeInput(path, false))
            state.SkipWithError("analysis failed");
    }
}

void AnalyzeProbe(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        cantrix::ConverterEngine engine;
        if (!engine.AnalyzeInput(path, true))
            state.SkipWithError("probe failed");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SMALL.wav LARGE.wav [benchmark options]\n", argv[0]);
        return 2;
    }
    cantrix::InstallBuiltInDrivers(cantrix::CodecManager::Instance());
    const std::string small = argv[1];
    const std::string large = argv[2];
    benchmark::RegisterBenchmark("AnalyzeInput/full/small", AnalyzeFull, small);
    benchmark::RegisterBenchmark("AnalyzeInput/full/large", AnalyzeFull, large);
    benchmark::RegisterBenchmark("AnalyzeInput/probe/small", AnalyzeProbe, small);
    benchmark::RegisterBenchmark("AnalyzeInput/probe/large", AnalyzeProbe, large);
    int remaining = argc - 2;
    argv[2] = argv[0];
    benchmark::Initialize(&remaining, argv + 2);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
