// What a start and a close spend on the settings file: parsing it, reading values, the two passwords.
#include <benchmark/benchmark.h>

#include "alert/App.h"
#include "alert/Sound.h"
#include "settings/IniFile.h"
#include "util/Secret.h"
#include "settings/Settings.h"

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quorvane;

namespace {

std::string FullFileText() {
    std::ifstream in(QUORVANE_TEST_DATA "/settings/full.ini", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void BM_ParseFullFile(benchmark::State& state) {
    const std::string text = FullFileText();
    for (auto _ : state)
        benchmark::DoNotOptimize(IniFile::Parse(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseFullFile);

void BM_ReadEveryRealOfEverySlot(benchmark::State& state) {
    const IniFile ini = IniFile::Parse(FullFileText());
    for (auto _ : state)
        for (int n = 0; n < 8; ++n)
            for (const char* key : {"AH", "AL", "BASE", "DH", "DL"})
                benchmark::DoNotOptimize(ini.ReadReal("Currency" + std::to_string(n), key, 0));
}
BENCHMARK(BM_ReadEveryRealOfEverySlot);

void BM_FormatReal(benchmark::State& state) {
    double v = 110.25;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatReal(v));
        v += 0.0001;
    }
}
BENCHMARK(BM_FormatReal);

void BM_EncryptSecret(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(EncryptSecret("smtp password", "Rk4wPz7N"));
}
BENCHMARK(BM_EncryptSecret)->Unit(benchmark::kMillisecond);

void BM_DecryptSecret(benchmark::State& state) {
    const std::string stored = EncryptSecret("smtp password", "Rk4wPz7N");
    for (auto _ : state)
        benchmark::DoNotOptimize(DecryptSecret(stored, "Rk4wPz7N"));
}
BENCHMARK(BM_DecryptSecret)->Unit(benchmark::kMillisecond);

// A whole start (load with two passwords to open) and close (save with two to protect, fsync included).
void BM_LoadAndSaveFullFile(benchmark::State& state) {
    const std::string out = (std::filesystem::temp_directory_path() / "quorvane-bench.ini").string();
    for (auto _ : state) {
        Sounds.clear();
        Apps.clear();
        FixedSettingsHost host;
        LoadData(host, QUORVANE_TEST_DATA "/settings/full.ini");
        SaveData(host, out);
    }
    std::filesystem::remove(out);
}
BENCHMARK(BM_LoadAndSaveFullFile)->Unit(benchmark::kMillisecond);

} // namespace
