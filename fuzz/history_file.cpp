// The history store opened on a file of arbitrary bytes: moved aside or read, never a crash. An input that
// begins with "BLOCK" is instead a start time (8 bytes) and the bytes of a packed row, put into a file that
// is otherwise ours, so that the decoding of rows is reached as well as the file's header.
#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "fuzz/Harness.h"
#include "history/HistoryStore.h"

using namespace quorvane;

namespace {

constexpr std::string_view BlockMark = "BLOCK";

// A file of the current version holding the row (USD/JPY, start, data) beside a sound row.
void WriteBlockFile(const std::filesystem::path& file, std::string_view input) {
    std::int64_t start = 0;
    input.remove_prefix(BlockMark.size());
    if (input.size() >= sizeof start) {
        std::memcpy(&start, input.data(), sizeof start);
        input.remove_prefix(sizeof start);
    }
    {
        history::HistoryStore store(file.string(), {}, {}, 1'800'000'000);
        const history::RatePoint sound{USD, JPY, 1'799'999'000, 150.0, history::PointSource::Service};
        store.Append(std::span(&sound, 1));
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* insert = nullptr;
        if (sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO blocks(pair, start, data) VALUES(?, ?, ?)", -1,
                               &insert, nullptr) == SQLITE_OK) {
            sqlite3_bind_int64(insert, 1, USD * 256 + JPY);
            sqlite3_bind_int64(insert, 2, start);
            sqlite3_bind_blob(insert, 3, input.data(), static_cast<int>(input.size()), SQLITE_TRANSIENT);
            sqlite3_step(insert);
        }
        sqlite3_finalize(insert);
    }
    sqlite3_close(db);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20))
        return 0; // a larger file costs time, not new paths
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("fuzz-history-" + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
    const fs::path file = folder / "history.sqlite";
    const std::string_view input = fuzz::Bytes(data, size);
    if (input.starts_with(BlockMark))
        WriteBlockFile(file, input);
    else
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    {
        history::HistoryStore store(file.string(), {}, {}, 1'800'000'000);
        fuzz::Require(store.IsOpen(), "an unusable file is replaced by a new one");
        const auto points = store.Read(USD, JPY, INT64_MIN, INT64_MAX, 0, 10'000);
        fuzz::Require(points.size() <= 10'000, "a read keeps to its limit");
        for (std::size_t i = 0; i < points.size(); ++i) {
            fuzz::Require(points[i].from == USD && points[i].to == JPY, "a read gives the asked pair");
            fuzz::Require(i == 0 || points[i - 1].at < points[i].at, "a read gives each time once, in order");
        }
        store.First(USD, JPY);
        const history::RatePoint next{USD, JPY, 1'800'000'000, 150.0, history::PointSource::Service};
        store.Append(std::span(&next, 1));
        store.Thin(1'800'000'000);
    }
    fs::remove_all(folder, ec);
    return 0;
}
