// The files' own conversion time, for the terminal's --jobs 1 to be held against: the same engine
// converts each file of a folder in turn, as the terminal does, with nothing around it (no survey
// of the inputs, no temporary file to publish, no report).
// Usage: batch_conversion FOLDER OUTPUT-FOLDER   (the ISDN preset, raw streams, one thread)
#include "drivers/built_in_drivers.h"
#include "engine/converter_engine.h"
#include "platform/worker_pool.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    cantrix::InstallBuiltInDrivers(cantrix::CodecManager::Instance());
    cantrix::WorkerPool::Shared().SetThreadLimit(1);
    std::vector<fs::path> files{fs::directory_iterator(argv[1]), fs::directory_iterator()};
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        cantrix::ConverterEngine engine;
        if (!engine.AnalyzeInput(file.string(), false))
            return 1;
        engine.SetFormatIndex(engine.FindIsdnFormat());
        engine.SetWriteRiff(0);
        engine.SetOutputPath((fs::path(argv[2]) / file.stem()).string() + ".mp3");
        if (!engine.StartConversion())
            return 1;
        engine.WaitForWorker();
        if (engine.GetRunOutcome() != cantrix::RunOutcome::Finished) {
            std::fprintf(stderr, "%s: not converted\n", file.c_str());
            return 1;
        }
    }
    return 0;
}
