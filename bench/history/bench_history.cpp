// The history store against its bounds: a year of 8 pairs at a 1 s interval under 60 MB, a cycle's write
// under 1 ms at the median, and the read of the chart's 3-month view (bounded with its drawing by 300 ms).
// Each figure comes with its ratio to the bound (below 1 is within it).
//
// A year at 1 s is 31.5 M cycles. Only the last 8 days are written at 1 s; the days before them are
// written one point per pair per minute, at second 59. Thinning keeps the last point of each 5-minute
// span and of each day, and the last second of a span at 1 s is second 299, the same time as the last
// of those minutes: the rows that survive are the same ones, and the thinning still merges 5 points into
// one. Every simulated day is one transaction, followed by the daily thinning, as the program runs it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "history/HistoryStore.h"

using namespace quorvane;
using namespace quorvane::history;

namespace {

constexpr std::int64_t Day = 86400;
constexpr std::int64_t YearStart = 1'767'225'600; // 2026-01-01T00:00:00Z
constexpr Currency Pairs[8][2] = {{USD, JPY}, {EUR, JPY}, {EUR, USD}, {GBP, JPY},
                                  {AUD, JPY}, {USD, CHF}, {GBP, USD}, {CNY, JPY}};

class Folder {
public:
    Folder() {
        path_ = std::filesystem::temp_directory_path() / ("bench-history-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path_);
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File() const { return (path_ / "history.sqlite").string(); }
    std::int64_t Bytes() const {
        std::int64_t total = 0;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            total += static_cast<std::int64_t>(entry.file_size());
        return total;
    }

private:
    std::filesystem::path path_;
};

double Rate(int pair, std::int64_t at) {
    return 100.0 + pair + static_cast<double>(at % 7919) * 1e-4;
}

void AddDay(std::vector<RatePoint>& points, std::int64_t dayStart, std::int64_t step, std::int64_t offset) {
    points.clear();
    for (std::int64_t at = dayStart + offset; at < dayStart + Day; at += step)
        for (int p = 0; p < 8; ++p)
            points.push_back({Pairs[p][0], Pairs[p][1], at, Rate(p, at), PointSource::Service});
}

void BM_YearOfEightPairsAtOneSecond(benchmark::State& state) {
    for (auto _ : state) {
        Folder folder;
        HistoryStore store(folder.File(), {}, {}, YearStart);
        std::vector<RatePoint> points;
        std::int64_t peak = 0;
        for (int day = 0; day < 365; ++day) {
            const std::int64_t start = YearStart + day * Day;
            const bool full = day >= 365 - 8;
            AddDay(points, start, full ? 1 : 60, full ? 0 : 59);
            if (!store.Append(points) || !store.Thin(start + Day)) {
                state.SkipWithError("a write failed");
                return;
            }
            peak = std::max(peak, folder.Bytes());
        }
        const double megabytes = static_cast<double>(folder.Bytes()) / 1e6;
        state.counters["size_MB"] = megabytes;
        state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
        state.counters["size_ratio_to_60MB"] = megabytes / 60.0;
        state.counters["peak_ratio_to_60MB"] = static_cast<double>(peak) / 60e6;
    }
}
BENCHMARK(BM_YearOfEightPairsAtOneSecond)->Iterations(1)->Unit(benchmark::kSecond);

// One cycle: 8 new points in one transaction, on a store that already holds a day of them.
void BM_CycleWrite(benchmark::State& state) {
    Folder folder;
    const std::int64_t now = YearStart + 30 * Day;
    HistoryStore store(folder.File(), {}, {}, now);
    std::vector<RatePoint> points;
    AddDay(points, now - Day, 1, 0);
    store.Append(points);
    std::vector<double> micros;
    std::int64_t at = now;
    std::vector<RatePoint> cycle(8);
    for (auto _ : state) {
        for (int p = 0; p < 8; ++p)
            cycle[p] = {Pairs[p][0], Pairs[p][1], at, Rate(p, at), PointSource::Service};
        ++at;
        const auto begin = std::chrono::steady_clock::now();
        const WriteResult written = store.Append(cycle);
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin).count());
        if (!written)
            state.SkipWithError("a write failed");
    }
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    state.counters["median_us"] = median;
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["median_ratio_to_1ms"] = median / 1000.0;
}
BENCHMARK(BM_CycleWrite)->Iterations(20000)->Unit(benchmark::kMicrosecond);

// The 3-month view of one pair as the store holds it: 7 days of 1 s points, then 83 days at 5 minutes.
void BM_ReadThreeMonthsOfOnePair(benchmark::State& state) {
    Folder folder;
    const std::int64_t now = YearStart + 200 * Day;
    HistoryStore store(folder.File(), {}, {}, now);
    std::vector<RatePoint> points;
    for (std::int64_t at = now - 90 * Day; at < now; at += at < now - 7 * Day ? 300 : 1)
        points.push_back({USD, JPY, at, Rate(0, at), PointSource::Service});
    if (!store.Append(points)) {
        state.SkipWithError("the fill failed");
        return;
    }
    std::size_t read = 0;
    double slowest = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(read = store.Read(USD, JPY, now - 90 * Day, now, state.range(0)).size());
        slowest = std::max(
            slowest,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
    }
    state.counters["points"] = static_cast<double>(read);
    state.counters["slowest_ms"] = slowest;
    state.counters["slowest_ratio_to_300ms"] = slowest / 300.0;
}
// Argument: the step of the read, 0 for every point, 300 for one per 5 minutes as the chart reads.
BENCHMARK(BM_ReadThreeMonthsOfOnePair)->Arg(0)->Arg(300)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
