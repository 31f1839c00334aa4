#include <sqlite3.h>

#include <gtest/gtest.h>

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

TEST(HistoryStore, AnUnusableFileIsMovedAsideAndANewOneStarted) {
    struct Case {
        const char* name;
        bool newer;
        const char* suffix;
    };
    for (const Case& c :
         {Case{"garbage", false, "h.sqlite.unreadable-"}, Case{"newer", true, "h.sqlite.newer-"}}) {
        SCOPED_TRACE(c.name);
        TempFolder folder("history");
        const auto path = folder.path() / "h.sqlite";
        if (c.newer)
            WriteNewerDatabase(path.string());
        else
            fakes::WriteBytes(path, std::string(5000, 'x'));
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
