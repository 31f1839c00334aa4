#include <sqlite3.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "fakes/TestFiles.h"
#include "history/Fill.h"
#include "history/HistoryStore.h"

namespace quorvane::history {
namespace {

using fakes::TempFolder;

constexpr std::int64_t Day = 86400;
constexpr std::int64_t Now = 1'780'000'000 / Day * Day + 12 * 3600; // noon UTC

RatePoint At(std::int64_t at, double rate, Currency from = USD, Currency to = JPY) {
    return {from, to, at, rate, PointSource::Service};
}

std::vector<std::int64_t> Times(const std::vector<RatePoint>& points) {
    std::vector<std::int64_t> times;
    for (const RatePoint& p : points)
        times.push_back(p.at);
    return times;
}

// Compares rates by their bits, so that a NaN or -0 that changed on the way shows.
std::vector<std::pair<std::int64_t, std::uint64_t>> TimesAndBits(const std::vector<RatePoint>& points) {
    std::vector<std::pair<std::int64_t, std::uint64_t>> out;
    for (const RatePoint& p : points)
        out.emplace_back(p.at, std::bit_cast<std::uint64_t>(p.rate));
    return out;
}

TEST(HistoryStore, ThinningKeepsRecentPointsAndTheLastOfEachSpan) {
    TempFolder folder("history");
    const std::string path = (folder.path() / "history.sqlite").string();
    const std::int64_t recent = Now - Day;                     // full resolution
    const std::int64_t fine = (Now - 10 * Day) / 300 * 300;    // one per 5 minutes
    const std::int64_t coarse = (Now - 100 * Day) / Day * Day; // one per day
    std::vector<RatePoint> points;
    for (int i = 0; i < 6; ++i) {
        points.push_back(At(recent + i, 150 + i));
        points.push_back(At(fine + i * 100, 160 + i));     // two 5-minute spans, three points each
        points.push_back(At(coarse + i * 20000, 170 + i)); // 0..100000 s: two days
        points.push_back(At(fine + i * 100, 1.1 + i, EUR, USD));
    }
    {
        HistoryStore store(path, {}, {}, Now - 200 * Day); // nothing is old yet
        ASSERT_TRUE(store.IsOpen());
        ASSERT_TRUE(store.Append(points));
        ASSERT_EQ(store.Read(USD, JPY, 0, Now).size(), 18u);
        const WriteResult thinned = store.Thin(Now);
        ASSERT_TRUE(thinned) << thinned.error;
        EXPECT_EQ(thinned.written, 4 + 4 + 4);
    }
    HistoryStore reopened(path, {}, {}, Now); // thinning again at open changes nothing
    const auto kept = reopened.Read(USD, JPY, 0, Now);
    const std::vector<std::int64_t> expected = {coarse + 80000, coarse + 100000, fine + 200, fine + 500,
                                                recent,         recent + 1,      recent + 2, recent + 3,
                                                recent + 4,     recent + 5};
    EXPECT_EQ(Times(kept), expected);
    EXPECT_EQ(kept[2].rate, 162);
    EXPECT_EQ(Times(reopened.Read(EUR, USD, 0, Now)), (std::vector<std::int64_t>{fine + 200, fine + 500}));
    // Both ends of a range are inside it.
    EXPECT_EQ(Times(reopened.Read(USD, JPY, recent + 1, recent + 3)),
              (std::vector<std::int64_t>{recent + 1, recent + 2, recent + 3}));
    EXPECT_EQ(reopened.First(USD, JPY)->at, coarse + 80000);
    // A stepped read keeps the last point of each span, as thinning does.
    EXPECT_EQ(
        Times(reopened.Read(USD, JPY, 0, Now, 300)),
        (std::vector<std::int64_t>{coarse + 80000, coarse + 100000, fine + 200, fine + 500, recent + 5}));
}

// Thinning as the program runs it, a little after every write, must keep what one thinning at the end keeps,
// also when points arrive for times it has thinned already.
TEST(HistoryStore, ThinningAfterEveryWriteKeepsWhatOneThinningKeeps) {
    TempFolder folder("history");
    StoreOptions options;
    options.spans = {.fullSeconds = 3600, .fineSeconds = 6 * 3600, .fineStep = 300, .coarseStep = 1800};
    const std::int64_t begin = Now - 2 * Day;
    HistoryStore often((folder.path() / "often.sqlite").string(), {}, options, begin);
    HistoryStore once((folder.path() / "once.sqlite").string(), {}, options, begin);
    for (std::int64_t hour = begin; hour < Now; hour += 3600) {
        std::vector<RatePoint> points;
        for (std::int64_t at = hour; at < hour + 3600; at += 7)
            points.push_back(At(at, 150 + static_cast<double>(at % 1000) / 1000));
        if (hour == begin + 30 * 3600) // a late day's points, long thinned by now
            for (std::int64_t at = begin + 3; at < begin + 3 * 3600; at += 600)
                points.push_back(At(at, 1));
        ASSERT_TRUE(often.Append(points));
        ASSERT_TRUE(once.Append(points));
        ASSERT_TRUE(often.Thin(hour + 3600));
    }
    ASSERT_TRUE(once.Thin(Now));
    const auto kept = once.Read(USD, JPY, INT64_MIN, INT64_MAX);
    EXPECT_EQ(TimesAndBits(often.Read(USD, JPY, INT64_MIN, INT64_MAX)), TimesAndBits(kept));
    EXPECT_LT(kept.size(), 600u + 60 + 60 + 36);
}

TEST(HistoryStore, APairAndAsOfTimeIsStoredOnce) {
    TempFolder folder("history");
    HistoryStore store((folder.path() / "h.sqlite").string(), {}, {}, Now);
    const RatePoint first[] = {At(Now, 150.0), At(Now, 1.1, EUR, USD)};
    const RatePoint repeat[] = {At(Now, 151.0), At(Now + 1, 152.0)};
    EXPECT_EQ(store.Append(first).written, 2);
    const WriteResult second = store.Append(repeat);
    ASSERT_TRUE(second) << second.error;
    EXPECT_EQ(second.written, 1);
    const auto stored = store.Read(USD, JPY, Now, Now + 1);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].rate, 150.0);
    EXPECT_EQ(stored[1].rate, 152.0);
}

// A file of a later version of the program: version 99 with a table we could not read.
void WriteNewerDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE points2(x); PRAGMA user_version = 99;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void WriteVersionOne(const std::string& path, const std::vector<RatePoint>& points);

// A file of the first version whose points cannot all be read: a page in the middle overwritten.
void WriteDamagedVersionOne(const std::string& path) {
    std::vector<RatePoint> points;
    for (int i = 0; i < 3000; ++i)
        points.push_back(At(Now + i, 150 + i * 1e-3));
    WriteVersionOne(path, points);
    std::string bytes = fakes::ReadBytes(path);
    ASSERT_GT(bytes.size(), 8u * 4096);
    std::fill(bytes.begin() + 5 * 4096, bytes.begin() + 6 * 4096, '\x5a');
    fakes::WriteBytes(path, bytes);
}

TEST(HistoryStore, AnUnusableFileIsMovedAsideAndANewOneStarted) {
    struct Case {
        const char* name;
        void (*write)(const std::string& path);
        const char* suffix;
    };
    for (const Case& c :
         {Case{"garbage", [](const std::string& path) { fakes::WriteBytes(path, std::string(5000, 'x')); },
               "h.sqlite.unreadable-"},
          Case{"newer", WriteNewerDatabase, "h.sqlite.newer-"},
          Case{"damaged version 1", WriteDamagedVersionOne, "h.sqlite.unreadable-"}}) {
        SCOPED_TRACE(c.name);
        TempFolder folder("history");
        const auto path = folder.path() / "h.sqlite";
        c.write(path.string());
        const std::string before = fakes::ReadBytes(path);
        std::vector<std::string> log;
        HistoryStore store(
            path.string(), [&](const std::string& line) { log.push_back(line); }, {}, Now);
        ASSERT_TRUE(store.IsOpen());
        EXPECT_TRUE(store.Append(std::vector{At(Now, 150)}));
        EXPECT_EQ(store.Read(USD, JPY, 0, Now).size(), 1u);
        ASSERT_EQ(log.size(), 1u);
        std::string aside;
        for (const std::string& name : folder.Names())
            if (name.rfind(c.suffix, 0) == 0)
                aside = name;
        ASSERT_FALSE(aside.empty()) << log[0];
        EXPECT_NE(log[0].find(aside), std::string::npos) << log[0];
        EXPECT_EQ(fakes::ReadBytes(folder.path() / aside), before);
    }
}

// Rates a packed row must give back bit for bit, with the times around a minute's edges.
const std::vector<RatePoint> Awkward = {At(Now - 61, 150.123),
                                        At(Now - 60, 150.124),
                                        At(Now - 1, -0.0),
                                        At(Now, 1e-310),
                                        At(Now + 1, std::numeric_limits<double>::max()),
                                        At(Now + 2, std::nan("7")),
                                        At(Now + 59, 0.1),
                                        {USD, JPY, Now + 60, 150.0, PointSource::EcbDaily},
                                        {USD, JPY, Now + 61, 150.0, PointSource::Intraday},
                                        {USD, JPY, Now + 62, 150.0, PointSource::Unknown},
                                        At(-86401, 99.5)};

TEST(HistoryStore, RatesReadBackBitForBitWhateverTheOrderOfTheWrites) {
    TempFolder folder("history");
    HistoryStore store((folder.path() / "h.sqlite").string(), {}, {}, Now);
    // Backwards, one point a write: each lands inside a minute already stored.
    for (auto point = Awkward.rbegin(); point != Awkward.rend(); ++point)
        ASSERT_EQ(store.Append(std::span(&*point, 1)).written, 1);
    std::vector<RatePoint> expected = Awkward;
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
    const auto read = store.Read(USD, JPY, INT64_MIN, INT64_MAX);
    EXPECT_EQ(TimesAndBits(read), TimesAndBits(expected));
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(read[i].source, expected[i].source) << read[i].at;
    EXPECT_EQ(store.Read(USD, JPY, Now - 60, Now + 1, 0, 3).size(), 3u); // the limit counts points
}

// A file as the first version of the program wrote it.
void WriteVersionOne(const std::string& path, const std::vector<RatePoint>& points) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "PRAGMA journal_mode = WAL; CREATE TABLE points(pair INTEGER NOT NULL, at INTEGER NOT"
                     " NULL, rate REAL NOT NULL, source INTEGER NOT NULL, PRIMARY KEY(pair, at))"
                     " WITHOUT ROWID; PRAGMA user_version = 1;",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO points VALUES(?, ?, ?, ?)", -1, &insert, nullptr);
    for (const RatePoint& p : points) {
        sqlite3_bind_int64(insert, 1, p.from * 256 + p.to);
        sqlite3_bind_int64(insert, 2, p.at);
        sqlite3_bind_double(insert, 3, p.rate);
        sqlite3_bind_int64(insert, 4, static_cast<int>(p.source));
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

int UserVersion(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* version = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr);
    const int found = sqlite3_step(version) == SQLITE_ROW ? sqlite3_column_int(version, 0) : -1;
    sqlite3_finalize(version);
    sqlite3_close(db);
    return found;
}

TEST(HistoryStore, AVersionOneFileIsConvertedWithEveryPoint) {
    TempFolder folder("history");
    const std::string path = (folder.path() / "h.sqlite").string();
    // A REAL column holds neither NaN nor -0.
    std::vector<RatePoint> expected;
    std::copy_if(Awkward.begin(), Awkward.end(), std::back_inserter(expected),
                 [](const RatePoint& p) { return p.rate == p.rate && !std::signbit(p.rate); });
    std::vector<RatePoint> points = expected;
    points.push_back(At(Now + 5, 1.17, EUR, USD));
    WriteVersionOne(path, points);
    {
        StoreOptions readOnly;
        readOnly.readOnly = true;
        std::vector<std::string> log;
        HistoryStore reader(
            path, [&](const std::string& line) { log.push_back(line); }, readOnly, Now);
        EXPECT_FALSE(reader.IsOpen());
        EXPECT_EQ(log.size(), 1u);
        EXPECT_EQ(UserVersion(path), 1);
    }
    std::vector<std::string> log;
    HistoryStore store(
        path, [&](const std::string& line) { log.push_back(line); }, {}, Now);
    ASSERT_TRUE(store.IsOpen());
    EXPECT_TRUE(log.empty()) << log[0];
    EXPECT_EQ(UserVersion(path), SchemaVersion);
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
    // The oldest point is thinned to the last of its day, which it is.
    EXPECT_EQ(TimesAndBits(store.Read(USD, JPY, INT64_MIN, INT64_MAX)), TimesAndBits(expected));
    EXPECT_EQ(store.Read(EUR, USD, 0, INT64_MAX).at(0).rate, 1.17);
    EXPECT_EQ(store.Append(std::vector{At(Now, 1.0), At(Now + 3, 151.0)}).written, 1);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"h.sqlite", "h.sqlite-shm", "h.sqlite-wal"}));
}

TEST(HistoryStore, ADamagedRowLosesOnlyItsOwnMinute) {
    TempFolder folder("history");
    const std::string path = (folder.path() / "h.sqlite").string();
    {
        HistoryStore store(path, {}, {}, Now);
        ASSERT_TRUE(store.Append(std::vector{At(Now - 60, 149.0), At(Now, 150.0)}));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    // A time beyond the minute, then bytes cut short.
    for (const char* bytes : {"UPDATE blocks SET data = x'f00100' WHERE start = ?",
                              "UPDATE blocks SET data = x'0480' WHERE start = ?"}) {
        sqlite3_stmt* update = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, bytes, -1, &update, nullptr), SQLITE_OK);
        sqlite3_bind_int64(update, 1, Now);
        EXPECT_EQ(sqlite3_step(update), SQLITE_DONE);
        sqlite3_finalize(update);
        HistoryStore store(path, {}, {}, Now);
        EXPECT_EQ(Times(store.Read(USD, JPY, 0, Now + 60)), (std::vector<std::int64_t>{Now - 60}));
        EXPECT_EQ(store.First(USD, JPY)->at, Now - 60);
    }
    sqlite3_close(db);
    HistoryStore store(path, {}, {}, Now);
    EXPECT_EQ(store.Append(std::vector{At(Now + 1, 151.0)}).written, 1);
    EXPECT_EQ(Times(store.Read(USD, JPY, 0, Now + 60)), (std::vector<std::int64_t>{Now - 60, Now + 1}));
}

TEST(HistoryStore, AFailedWriteIsReturnedAndLeavesTheStoreUsable) {
    TempFolder folder("history");
    HistoryStore store((folder.path() / "h.sqlite").string(), {}, {}, Now);
    ASSERT_TRUE(store.Append(std::vector{At(Now, 150)}));
    std::vector<RatePoint> many;
    for (int i = 1; i <= 200'000; ++i)
        many.push_back(At(Now + i, 150 + i * 1e-6));
    WriteResult failed;
    {
        fakes::FileSizeLimit limit(256 * 1024);
        ASSERT_TRUE(limit.ok());
        EXPECT_NO_THROW(failed = store.Append(many));
    }
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.written, 0);
    EXPECT_FALSE(failed.error.empty());
    EXPECT_EQ(store.Read(USD, JPY, 0, Now + 300'000).size(), 1u); // nothing half written
    EXPECT_TRUE(store.Append(std::vector{At(Now + 1, 151)}));
}

TEST(Fill, DaysBeforeTheFirstPointWhileTheStoreHoldsFewerThan30Days) {
    const RatePoint daily[] = {At(Now - 3 * Day, 148), At(Now - 40 * Day, 140), At(Now - 12 * Day, 146),
                               At(Now - 11 * Day, 1.08, EUR, USD), At(Now - Day, 149)};
    struct Case {
        const char* name;
        std::optional<RatePoint> first;
        std::vector<std::int64_t> filled;
    };
    const Case cases[] = {
        {"empty store",
         std::nullopt,
         {Now - 40 * Day, Now - 12 * Day, Now - 11 * Day, Now - 3 * Day, Now - Day}},
        {"ten days", At(Now - 10 * Day, 147), {Now - 40 * Day, Now - 12 * Day}},
        {"thirty days", At(Now - 30 * Day, 147), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto filled = DaysToFill(c.first, daily, Now);
        EXPECT_EQ(Times(filled), c.filled);
        for (const RatePoint& p : filled)
            EXPECT_EQ(p.source, PointSource::EcbDaily);
    }
}

TEST(Fill, EcbDayTime) {
    EXPECT_EQ(EcbDayTime("2026-09-10"), 1789046100); // 2026-09-10T13:15:00Z
    for (const char* bad : {"2026-02-30", "2026-9-10", "2026-09-1x", ""})
        EXPECT_FALSE(EcbDayTime(bad)) << bad;
}

} // namespace
} // namespace quorvane::history
