// The history store opened on a file of arbitrary bytes: moved aside or read, never a crash.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "fuzz/Harness.h"
#include "history/HistoryStore.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20))
        return 0; // a larger file costs time, not new paths
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("fuzz-history-" + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
    const fs::path file = folder / "history.sqlite";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    {
        history::HistoryStore store(file.string(), {}, {}, 1'800'000'000);
        fuzz::Require(store.IsOpen(), "an unusable file is replaced by a new one");
        const auto points = store.Read(USD, JPY, INT64_MIN, INT64_MAX, 0, 10'000);
        fuzz::Require(points.size() <= 10'000, "a read keeps to its limit");
        for (const auto& point : points)
            fuzz::Require(point.from == USD && point.to == JPY, "a read gives the asked pair");
        const history::RatePoint next{USD, JPY, 1'800'000'000, 150.0, history::PointSource::Service};
        store.Append(std::span(&next, 1));
        store.Thin(1'800'000'000);
    }
    fs::remove_all(folder, ec);
    return 0;
}
