#include "history/HistoryStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>

#include "history/PointBlock.h"
#include "util/UserFolders.h"

namespace quorvane::history {

namespace {

struct StatementFree {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFree>;

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    return Statement(statement);
}

// The reason of the last failure on db, or empty when sql ran.
std::string Run(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return {};
    std::string reason = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return reason.empty() ? "unknown SQLite failure" : reason;
}

// Ends a transaction: committed when nothing failed in it, else rolled back with nothing counted as
// written. True when committed.
bool EndTransaction(sqlite3* db, WriteResult& result) {
    if (result.error.empty())
        result.error = Run(db, "COMMIT");
    if (result.error.empty())
        return true;
    Run(db, "ROLLBACK");
    result.written = 0;
    return false;
}

std::int64_t PairKey(Currency from, Currency to) {
    return std::int64_t{from} * 256 + to;
}

Currency FromOf(std::int64_t pair) {
    return static_cast<Currency>((pair >> 8) & 0xff);
}

Currency ToOf(std::int64_t pair) {
    return static_cast<Currency>(pair & 0xff);
}

PointSource SourceFromNumber(std::int64_t number) {
    return number >= 0 && number <= 2 ? static_cast<PointSource>(number) : PointSource::Unknown;
}

constexpr const char* CreateSchema =
    "CREATE TABLE IF NOT EXISTS blocks(pair INTEGER NOT NULL, start INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(pair, start)) WITHOUT ROWID;"
    "PRAGMA user_version = 2;";

constexpr const char* ProbeSchema = "SELECT pair, start, data FROM blocks LIMIT 0";

std::string_view BlobOf(sqlite3_stmt* row, int column) {
    const void* data = sqlite3_column_blob(row, column);
    const int size = sqlite3_column_bytes(row, column);
    return data ? std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size))
                : std::string_view();
}

std::optional<std::vector<RatePoint>> BlockOfRow(sqlite3_stmt* row, int startColumn, Currency from,
                                                 Currency to) {
    return DecodeBlock(sqlite3_column_int64(row, startColumn), BlobOf(row, startColumn + 1), from, to);
}

// Floor division, so that spans before 1970 line up too.
std::int64_t SpanOf(std::int64_t at, std::int64_t step) {
    return at / step - (at % step < 0);
}

// The first block start that may hold a time at or after since.
std::int64_t FirstBlockFor(std::int64_t since) {
    return BlockStart(std::clamp(since, -MaxPointTime, MaxPointTime));
}

void BindBlob(sqlite3_stmt* statement, int column, const std::string& bytes) {
    sqlite3_bind_blob(statement, column, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

// Writes the block's points, or removes the row when none are left; false on a failure (errmsg tells).
bool StoreBlock(sqlite3* db, std::int64_t pair, std::int64_t start, const std::vector<RatePoint>& points) {
    Statement statement =
        points.empty() ? Prepare(db, "DELETE FROM blocks WHERE pair = ? AND start = ?")
                       : Prepare(db, "INSERT OR REPLACE INTO blocks(pair, start, data) VALUES(?, ?, ?)");
    if (!statement)
        return false;
    sqlite3_bind_int64(statement.get(), 1, pair);
    sqlite3_bind_int64(statement.get(), 2, start);
    if (!points.empty())
        BindBlob(statement.get(), 3, EncodeBlock(start, points));
    return sqlite3_step(statement.get()) == SQLITE_DONE;
}

std::string TimeSuffix() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

} // namespace

const char* SourceName(PointSource source) {
    switch (source) {
    case PointSource::Service:
        return "service";
    case PointSource::Intraday:
        return "intraday";
    case PointSource::EcbDaily:
        return "ecb-daily";
    case PointSource::Unknown:
        break;
    }
    return "unknown";
}

std::string DefaultHistoryPath() {
    return (std::filesystem::path(UserFolder(UserFolderKind::Data)) / "history.sqlite").string();
}

HistoryStore::HistoryStore(const std::string& path, HistoryLog log, StoreOptions options, std::int64_t now)
    : path_(path), log_(std::move(log)), options_(options) {
    OpenOrReplace(now > 0 ? now : static_cast<std::int64_t>(std::time(nullptr)));
}

HistoryStore::~HistoryStore() {
    Close();
}

void HistoryStore::Close() {
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

void HistoryStore::Log(const std::string& line) const {
    if (log_)
        log_(line);
}

void HistoryStore::OpenOrReplace(std::int64_t now) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::string problem = PrepareFile();
        if (problem.empty())
            break;
        Close();
        // A file that could not be converted keeps its points for the next start.
        if (attempt == 1 || options_.readOnly || problem.rfind("converting", 0) == 0) {
            Log("history: cannot use " + path_ + ": " + problem);
            return;
        }
        if (problem == "newer") {
            MoveAside("it holds a newer schema", ".newer-");
        } else {
            MoveAside(problem, ".unreadable-");
        }
    }
    if (options_.readOnly)
        return;
    if (const WriteResult thinned = Thin(now); !thinned)
        Log("history: thinning " + path_ + " failed: " + thinned.error);
}

// Opens path_ and makes it a database of the current schema; the reason it is not one otherwise,
// "newer" for a schema of a later version, "converting ..." when an older one could not be converted.
std::string HistoryStore::PrepareFile() {
    if (!options_.readOnly) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    }
    const int flags =
        (options_.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK)
        return db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_busy_timeout(db_, 2000);
    // Reading the version reads the header: a file that is not a database fails here.
    Statement version = Prepare(db_, "PRAGMA user_version");
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW)
        return sqlite3_errmsg(db_);
    const int found = sqlite3_column_int(version.get(), 0);
    version.reset();
    if (found > SchemaVersion)
        return "newer";
    if (options_.readOnly) {
        if (found > 0 && found < SchemaVersion)
            return "it is of an older version, converted when the program next starts";
        return found == SchemaVersion && Prepare(db_, ProbeSchema) ? std::string()
                                                                   : "it holds no rate history";
    }
    if (found == 0) {
        // A new file: space freed by thinning goes back to the file system.
        if (std::string reason = Run(db_, "PRAGMA auto_vacuum = INCREMENTAL"); !reason.empty())
            return reason;
    }
    if (std::string reason = Run(db_, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                                      "PRAGMA journal_size_limit = 8388608;");
        !reason.empty())
        return reason;
    if (found == 0)
        if (std::string reason = Run(db_, CreateSchema); !reason.empty())
            return reason;
    if (found == 1 && !Prepare(db_, "SELECT pair, at, rate, source FROM points LIMIT 0"))
        return "it has no table of rate points";
    for (int step = found == 0 ? SchemaVersion : found; step < SchemaVersion; ++step) {
        bool damaged = false;
        if (std::string reason = Migrate(step, damaged); !reason.empty())
            return damaged ? reason
                           : "converting it from version " + std::to_string(step) + " failed: " + reason;
    }
    // A file of our version whose table is not ours is not our file.
    if (!Prepare(db_, ProbeSchema))
        return "it has no table of rate points";
    const std::int64_t pageSize = [&] {
        Statement size = Prepare(db_, "PRAGMA page_size");
        return size && sqlite3_step(size.get()) == SQLITE_ROW ? sqlite3_column_int64(size.get(), 0) : 4096;
    }();
    const std::string cap = "PRAGMA max_page_count = " + std::to_string(options_.maxFileBytes / pageSize);
    Run(db_, cap.c_str());
    return {};
}

// One step from version from to from + 1, in one transaction that ends by setting the new version.
// damaged: the failure came from the file's own bytes, so a later attempt cannot do better.
std::string HistoryStore::Migrate(int from, bool& damaged) {
    if (from != 1)
        return "no step from this version";
    std::string error;
    const auto fail = [&](std::string reason) {
        if (!error.empty())
            return;
        const int code = sqlite3_errcode(db_) & 0xff;
        damaged = code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_MISMATCH;
        error = reason.empty() ? "unknown SQLite failure" : std::move(reason);
    };
    Statement select = Prepare(db_, "SELECT pair, at, rate, source FROM points ORDER BY pair, at");
    if (!select) {
        fail(sqlite3_errmsg(db_));
        return error;
    }
    if (std::string reason = Run(db_, "BEGIN IMMEDIATE"); !reason.empty()) {
        fail(reason);
        return error;
    }
    if (std::string reason = Run(db_, CreateSchema); !reason.empty())
        fail(reason);
    std::int64_t pair = -1, start = 0;
    std::vector<RatePoint> block;
    const auto flush = [&] {
        if (error.empty() && !block.empty() && !StoreBlock(db_, pair, start, block))
            fail(sqlite3_errmsg(db_));
        block.clear();
    };
    while (error.empty()) {
        const int stepped = sqlite3_step(select.get());
        if (stepped == SQLITE_DONE)
            break;
        if (stepped != SQLITE_ROW) {
            fail(sqlite3_errmsg(db_));
            break;
        }
        const std::int64_t rowPair = sqlite3_column_int64(select.get(), 0);
        const std::int64_t at = sqlite3_column_int64(select.get(), 1);
        if (at < -MaxPointTime || at > MaxPointTime)
            continue; // no time a rate has ever had
        if (rowPair != pair || BlockStart(at) != start) {
            flush();
            pair = rowPair;
            start = BlockStart(at);
        }
        block.push_back({Currency{}, Currency{}, at, sqlite3_column_double(select.get(), 2),
                         SourceFromNumber(sqlite3_column_int64(select.get(), 3))});
    }
    flush();
    select.reset();
    if (error.empty())
        if (std::string reason = Run(db_, "DROP TABLE points"); !reason.empty())
            fail(reason);
    if (error.empty())
        if (std::string reason = Run(db_, "COMMIT"); !reason.empty())
            fail(reason);
    if (!error.empty())
        Run(db_, "ROLLBACK");
    return error;
}

void HistoryStore::MoveAside(const std::string& why, const char* suffix) {
    namespace fs = std::filesystem;
    const std::string aside = path_ + suffix + TimeSuffix();
    std::error_code ec;
    fs::rename(path_, aside, ec);
    if (!ec) {
        std::error_code ignored;
        fs::rename(path_ + "-wal", aside + "-wal", ignored);
        fs::remove(path_ + "-shm", ignored);
    }
    Log("history: " + path_ + " is not usable (" + why + "); " +
        (ec ? "could not move it aside: " + ec.message() : "moved to " + aside) + "; starting a new one");
}

WriteResult HistoryStore::Append(std::span<const RatePoint> points) {
    if (!db_)
        return {"the history file is not open"};
    for (const RatePoint& point : points)
        if (point.at < -MaxPointTime || point.at > MaxPointTime)
            return {"a point's time is out of range: " + std::to_string(point.at)};
    // By block, and within one in time order; the first of a repeated time in the list is the one kept.
    std::vector<RatePoint> sorted(points.begin(), points.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const RatePoint& a, const RatePoint& b) {
        const std::int64_t pa = PairKey(a.from, a.to), pb = PairKey(b.from, b.to);
        return pa != pb ? pa < pb : a.at < b.at;
    });
    Statement select = Prepare(db_, "SELECT start, data FROM blocks WHERE pair = ? AND start = ?");
    if (!select)
        return {sqlite3_errmsg(db_)};
    if (std::string reason = Run(db_, "BEGIN IMMEDIATE"); !reason.empty())
        return {reason};
    WriteResult result;
    std::int64_t oldest = INT64_MAX;
    for (std::size_t begin = 0; begin < sorted.size() && result.error.empty();) {
        const std::int64_t pair = PairKey(sorted[begin].from, sorted[begin].to);
        const std::int64_t start = BlockStart(sorted[begin].at);
        std::size_t end = begin;
        while (end < sorted.size() && PairKey(sorted[end].from, sorted[end].to) == pair &&
               BlockStart(sorted[end].at) == start)
            ++end;
        std::vector<RatePoint> block;
        sqlite3_bind_int64(select.get(), 1, pair);
        sqlite3_bind_int64(select.get(), 2, start);
        if (sqlite3_step(select.get()) == SQLITE_ROW) {
            // A damaged block's points cannot be read any more; the new ones take its place.
            if (auto stored = BlockOfRow(select.get(), 0, sorted[begin].from, sorted[begin].to))
                block = std::move(*stored);
        }
        sqlite3_reset(select.get());
        int added = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const auto at = std::lower_bound(block.begin(), block.end(), sorted[i].at,
                                             [](const RatePoint& p, std::int64_t t) { return p.at < t; });
            if (at != block.end() && at->at == sorted[i].at)
                continue;
            block.insert(at, sorted[i]);
            oldest = std::min(oldest, sorted[i].at);
            ++added;
        }
        if (added > 0 && !StoreBlock(db_, pair, start, block))
            result.error = sqlite3_errmsg(db_);
        result.written += added;
        begin = end;
    }
    if (!EndTransaction(db_, result))
        return result;
    writtenSince_ = std::min(writtenSince_, oldest);
    return result;
}

std::vector<RatePoint> HistoryStore::Read(Currency from, Currency to, std::int64_t since, std::int64_t until,
                                          std::int64_t step, std::size_t limit) const {
    std::vector<RatePoint> points;
    if (!db_ || since > until)
        return points;
    Statement select = Prepare(
        db_, "SELECT start, data FROM blocks WHERE pair = ? AND start >= ? AND start <= ? ORDER BY start");
    if (!select)
        return points;
    sqlite3_bind_int64(select.get(), 1, PairKey(from, to));
    sqlite3_bind_int64(select.get(), 2, FirstBlockFor(since));
    sqlite3_bind_int64(select.get(), 3, until);
    std::size_t taken = 0;
    while (taken < limit && sqlite3_step(select.get()) == SQLITE_ROW) {
        const auto block = BlockOfRow(select.get(), 0, from, to);
        if (!block)
            continue;
        for (const RatePoint& point : *block) {
            if (point.at < since || point.at > until)
                continue;
            if (taken++ == limit)
                break;
            if (step > 0 && !points.empty() && SpanOf(points.back().at, step) == SpanOf(point.at, step))
                points.back() = point;
            else
                points.push_back(point);
        }
    }
    return points;
}

std::optional<RatePoint> HistoryStore::First(Currency from, Currency to) const {
    if (!db_)
        return std::nullopt;
    Statement select = Prepare(db_, "SELECT start, data FROM blocks WHERE pair = ? ORDER BY start");
    if (!select)
        return std::nullopt;
    sqlite3_bind_int64(select.get(), 1, PairKey(from, to));
    while (sqlite3_step(select.get()) == SQLITE_ROW)
        if (const auto block = BlockOfRow(select.get(), 0, from, to); block && !block->empty())
            return block->front();
    return std::nullopt;
}

// Within [since, until), drops each of the pair's points that another point before until follows in the
// same step-long span, so that the last of each span is kept.
std::string HistoryStore::ThinPair(std::int64_t pair, std::int64_t since, std::int64_t until,
                                   std::int64_t step, int& removed) {
    Statement select = Prepare(
        db_, "SELECT start, data FROM blocks WHERE pair = ? AND start >= ? AND start < ? ORDER BY start");
    if (!select)
        return sqlite3_errmsg(db_);
    sqlite3_bind_int64(select.get(), 1, pair);
    sqlite3_bind_int64(select.get(), 2, FirstBlockFor(since));
    sqlite3_bind_int64(select.get(), 3, until);
    struct Block {
        std::int64_t start;
        std::vector<RatePoint> points;
    };
    std::vector<Block> blocks;
    while (sqlite3_step(select.get()) == SQLITE_ROW)
        if (auto points = BlockOfRow(select.get(), 0, FromOf(pair), ToOf(pair)))
            blocks.push_back({sqlite3_column_int64(select.get(), 0), std::move(*points)});
    select.reset();
    // Walks back from the newest point, remembering the span of the point after the current one.
    std::optional<std::int64_t> laterSpan;
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
        const std::size_t before = block->points.size();
        std::vector<RatePoint> kept;
        for (auto point = block->points.rbegin(); point != block->points.rend(); ++point) {
            const std::int64_t span = SpanOf(point->at, step);
            const bool inRange = point->at >= since && point->at < until;
            if (inRange && laterSpan == span)
                continue;
            kept.push_back(*point);
            laterSpan = point->at < until ? std::optional(span) : std::nullopt;
        }
        if (kept.size() == before)
            continue;
        std::reverse(kept.begin(), kept.end());
        removed += static_cast<int>(before - kept.size());
        if (!StoreBlock(db_, pair, block->start, kept))
            return sqlite3_errmsg(db_);
    }
    return {};
}

WriteResult HistoryStore::Thin(std::int64_t now) {
    if (!db_)
        return {"the history file is not open"};
    const ThinningSpans& spans = options_.spans;
    struct Span {
        std::int64_t since, until, step;
    };
    const Span tiers[] = {{now - spans.fineSeconds, now - spans.fullSeconds, spans.fineStep},
                          {INT64_MIN, now - spans.fineSeconds, spans.coarseStep}};
    if (std::string reason = Run(db_, "BEGIN IMMEDIATE"); !reason.empty())
        return {reason};
    WriteResult result;
    Statement nextPair = Prepare(db_, "SELECT pair FROM blocks WHERE pair > ? ORDER BY pair LIMIT 1");
    if (!nextPair)
        result.error = sqlite3_errmsg(db_);
    for (int tier = 0; tier < 2 && result.error.empty(); ++tier) {
        const Span& span = tiers[tier];
        // The spans before the last thinning's end that nothing was written into since are thinned already.
        const std::int64_t unchanged = std::min(thinnedUntil_[tier], writtenSince_);
        std::int64_t since = span.since;
        if (unchanged > since && unchanged != INT64_MIN)
            since = SpanOf(std::min(unchanged, span.until), span.step) * span.step;
        std::int64_t pair = -1;
        while (result.error.empty()) {
            sqlite3_bind_int64(nextPair.get(), 1, pair);
            const bool found = sqlite3_step(nextPair.get()) == SQLITE_ROW;
            if (found)
                pair = sqlite3_column_int64(nextPair.get(), 0);
            sqlite3_reset(nextPair.get());
            if (!found)
                break;
            result.error = ThinPair(pair, since, span.until, span.step, result.written);
        }
    }
    nextPair.reset();
    if (!EndTransaction(db_, result))
        return result;
    thinnedUntil_[0] = tiers[0].until;
    thinnedUntil_[1] = tiers[1].until;
    writtenSince_ = INT64_MAX;
    // Hands the freed pages back, so the file shrinks as well as stops growing.
    Run(db_, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA incremental_vacuum;");
    return result;
}

} // namespace quorvane::history
