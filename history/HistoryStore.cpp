#include "history/HistoryStore.h"

#include <sqlite3.h>

#include <ctime>
#include <filesystem>
#include <memory>

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

std::int64_t PairKey(Currency from, Currency to) {
    return std::int64_t{from} * 256 + to;
}

PointSource SourceFromNumber(std::int64_t number) {
    return number >= 0 && number <= 2 ? static_cast<PointSource>(number) : PointSource::Unknown;
}

RatePoint PointFromRow(sqlite3_stmt* row, Currency from, Currency to) {
    return {from, to, sqlite3_column_int64(row, 0), sqlite3_column_double(row, 1),
            SourceFromNumber(sqlite3_column_int64(row, 2))};
}

constexpr const char* CreateSchema =
    "CREATE TABLE IF NOT EXISTS points(pair INTEGER NOT NULL, at INTEGER NOT NULL, rate REAL NOT NULL,"
    " source INTEGER NOT NULL, PRIMARY KEY(pair, at)) WITHOUT ROWID;"
    "PRAGMA user_version = 1;";

std::string TimeSuffix() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

// Rows of one span [since, until) that another row of the same pair follows within the same step.
std::string ThinStatement(std::int64_t step) {
    const std::string s = std::to_string(step);
    return "DELETE FROM points WHERE at >= ?1 AND at < ?2 AND EXISTS (SELECT 1 FROM points AS later"
           " WHERE later.pair = points.pair AND later.at > points.at"
           " AND later.at < MIN(?2, (points.at / " +
           s + " + 1) * " + s + "))";
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
        if (attempt == 1 || options_.readOnly) {
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
// "newer" for a schema of a later version.
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
    if (options_.readOnly)
        return found == SchemaVersion && Prepare(db_, "SELECT pair, at, rate, source FROM points LIMIT 0")
                   ? std::string()
                   : "it holds no rate history";
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
    // A file of our version whose table is not ours is not our file.
    if (!Prepare(db_, "SELECT pair, at, rate, source FROM points LIMIT 0"))
        return "it has no table of rate points";
    const std::int64_t pageSize = [&] {
        Statement size = Prepare(db_, "PRAGMA page_size");
        return size && sqlite3_step(size.get()) == SQLITE_ROW ? sqlite3_column_int64(size.get(), 0) : 4096;
    }();
    const std::string cap = "PRAGMA max_page_count = " + std::to_string(options_.maxFileBytes / pageSize);
    Run(db_, cap.c_str());
    return {};
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
    Statement insert =
        Prepare(db_, "INSERT OR IGNORE INTO points(pair, at, rate, source) VALUES(?, ?, ?, ?)");
    if (!insert)
        return {sqlite3_errmsg(db_)};
    if (std::string reason = Run(db_, "BEGIN IMMEDIATE"); !reason.empty())
        return {reason};
    WriteResult result;
    for (const RatePoint& point : points) {
        sqlite3_bind_int64(insert.get(), 1, PairKey(point.from, point.to));
        sqlite3_bind_int64(insert.get(), 2, point.at);
        sqlite3_bind_double(insert.get(), 3, point.rate);
        sqlite3_bind_int64(insert.get(), 4, static_cast<std::int64_t>(point.source));
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            result.error = sqlite3_errmsg(db_);
            break;
        }
        result.written += sqlite3_changes(db_);
        sqlite3_reset(insert.get());
    }
    if (result.error.empty())
        result.error = Run(db_, "COMMIT");
    if (!result.error.empty()) {
        Run(db_, "ROLLBACK");
        result.written = 0;
    }
    return result;
}

std::vector<RatePoint> HistoryStore::Read(Currency from, Currency to, std::int64_t since, std::int64_t until,
                                          std::int64_t step, std::size_t limit) const {
    std::vector<RatePoint> points;
    if (!db_)
        return points;
    Statement select =
        Prepare(db_, "SELECT at, rate, source FROM points WHERE pair = ? AND at >= ? AND at <= ?"
                     " ORDER BY at LIMIT ?");
    if (!select)
        return points;
    sqlite3_bind_int64(select.get(), 1, PairKey(from, to));
    sqlite3_bind_int64(select.get(), 2, since);
    sqlite3_bind_int64(select.get(), 3, until);
    sqlite3_bind_int64(select.get(), 4, static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX)));
    // Floor division, so that spans before 1970 line up too.
    const auto span = [step](std::int64_t at) { return at / step - (at % step < 0); };
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
        const std::int64_t at = sqlite3_column_int64(select.get(), 0);
        if (step > 0 && !points.empty() && span(points.back().at) == span(at))
            points.back() = PointFromRow(select.get(), from, to);
        else
            points.push_back(PointFromRow(select.get(), from, to));
    }
    return points;
}

std::optional<RatePoint> HistoryStore::First(Currency from, Currency to) const {
    if (!db_)
        return std::nullopt;
    Statement select = Prepare(db_, "SELECT at, rate, source FROM points WHERE pair = ? ORDER BY at LIMIT 1");
    if (!select)
        return std::nullopt;
    sqlite3_bind_int64(select.get(), 1, PairKey(from, to));
    if (sqlite3_step(select.get()) != SQLITE_ROW)
        return std::nullopt;
    return PointFromRow(select.get(), from, to);
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
    for (const Span& tier : tiers) {
        Statement remove = Prepare(db_, ThinStatement(tier.step).c_str());
        if (!remove) {
            result.error = sqlite3_errmsg(db_);
            break;
        }
        sqlite3_bind_int64(remove.get(), 1, tier.since);
        sqlite3_bind_int64(remove.get(), 2, tier.until);
        if (sqlite3_step(remove.get()) != SQLITE_DONE) {
            result.error = sqlite3_errmsg(db_);
            break;
        }
        result.written += sqlite3_changes(db_);
    }
    if (result.error.empty())
        result.error = Run(db_, "COMMIT");
    if (!result.error.empty()) {
        Run(db_, "ROLLBACK");
        result.written = 0;
        return result;
    }
    // Hands the freed pages back, so the file shrinks as well as stops growing.
    Run(db_, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA incremental_vacuum;");
    return result;
}

} // namespace quorvane::history
