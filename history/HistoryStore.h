// HistoryStore: every rate the program has seen, per pair and as-of time, in one SQLite file.
//
// Schema version 2 (PRAGMA user_version = 2):
//   blocks(pair INTEGER, start INTEGER, data BLOB, PRIMARY KEY(pair, start)) WITHOUT ROWID
//   pair = from * 256 + to (Currency ordinals), start = the first second (since 1970 UTC) of the minute whose
//   points data holds, packed as PointBlock.h describes. A row per point (version 1) took 2.4 times the room.
// Version 1: points(pair INTEGER, at INTEGER, rate REAL, source INTEGER, PRIMARY KEY(pair, at))
//   WITHOUT ROWID, source = PointSource's number.
// A later version migrates in Open: a file at version N < current runs the steps N -> N+1 -> ... in one
// transaction each, each step ending with "PRAGMA user_version = N+1", so that an interrupted migration
// starts again from the last finished step. A file of a version newer than this program knows is moved
// aside (never written), as is a file that is not a database of ours.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "util/Currency.h"

struct sqlite3;

namespace quorvane::history {

// Where a point came from; the numbers are stored in the file and never change.
enum class PointSource : std::uint8_t {
    Service = 0,  // the rate service's answer in a monitor cycle
    Intraday = 1, // an intraday source with its own as-of time
    EcbDaily = 2, // the ECB's daily reference rate (also the days filled in before the first point)
    Unknown = 255 // a number this program does not know, read from a newer writer's row
};

// "service", "intraday", "ecb-daily" or "unknown".
const char* SourceName(PointSource source);

struct RatePoint {
    Currency from = USD;
    Currency to = JPY;
    std::int64_t at = 0; // as-of time, seconds since 1970 UTC
    double rate = 0;
    PointSource source = PointSource::Service;
    bool operator==(const RatePoint&) const = default;
};

// The outcome of a write: ok, or the reason (SQLite's message) it failed; nothing was half written.
struct WriteResult {
    std::string error;
    int written = 0; // rows added; repeats of a stored (pair, as-of time) are not counted
    explicit operator bool() const { return error.empty(); }
};

using HistoryLog = std::function<void(const std::string& line)>;

inline constexpr int SchemaVersion = 2;

// How long each resolution is kept: every point for 7 days, one per pair per 5 minutes up to 90 days,
// then one per pair per UTC day. Thinning keeps the last point of each span.
struct ThinningSpans {
    std::int64_t fullSeconds = 7 * 86400;
    std::int64_t fineSeconds = 90 * 86400;
    std::int64_t fineStep = 300;
    std::int64_t coarseStep = 86400;
};

struct StoreOptions {
    // A ceiling on the file whatever happens to thinning: writes beyond it fail (and are reported).
    std::int64_t maxFileBytes = std::int64_t{512} << 20;
    ThinningSpans spans;
    // For readers beside the program (quorvanectl): nothing is created, moved, thinned or written.
    bool readOnly = false;
};

// $XDG_DATA_HOME/quorvane/history.sqlite (~/.local/share/quorvane/history.sqlite).
std::string DefaultHistoryPath();

class HistoryStore {
public:
    // Opens (or creates, with its folder) the file at path in WAL mode and thins it as of now. A file that is
    // not a database, or holds a newer schema, is renamed to PATH.unreadable-TIME or PATH.newer-TIME (with
    // its -wal file), the reason goes to log, and a new file is started. Never throws; when even a new file
    // cannot be made, IsOpen() is false, every write fails and every read is empty. Blocks on the disk.
    // With options.readOnly an unusable file is only logged, and IsOpen() is false. A file of an older
    // version is converted (not in read-only mode, which cannot read it); when that fails for want of room
    // or access, the file is left as it was for the next start and IsOpen() is false; when its bytes are
    // damaged, it is moved aside as unreadable.
    explicit HistoryStore(const std::string& path, HistoryLog log = {}, StoreOptions options = {},
                          std::int64_t now = 0);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool IsOpen() const { return db_ != nullptr; }
    const std::string& Path() const { return path_; }

    // Writes one cycle's new points in one transaction; a point whose pair and as-of time are stored
    // already is left out. On failure nothing is written and the reason is returned (not logged, so
    // that the caller logs it once). Never throws.
    WriteResult Append(std::span<const RatePoint> points);

    // The points of one pair with since <= at <= until, oldest first, at most limit of them (the newest
    // are the ones dropped). A block of the file that is damaged is left out. With a step above 0, only the
    // last point of each step-long span (counted from 1970), as thinning would keep it: a 3-month chart needs
    // no more than a point per 5 minutes. Empty on a failure to read.
    std::vector<RatePoint> Read(Currency from, Currency to, std::int64_t since, std::int64_t until,
                                std::int64_t step = 0, std::size_t limit = 50'000'000) const;

    // The oldest stored point of the pair, if any.
    std::optional<RatePoint> First(Currency from, Currency to) const;

    // Reduces the points older than the spans allow (see ThinningSpans) as of now, seconds since 1970.
    // Run at open; callable once a day. Returns the points removed, or why it failed. After the first,
    // a thinning looks only at what the store has written or aged past a span's end since the last one.
    WriteResult Thin(std::int64_t now);

private:
    void OpenOrReplace(std::int64_t now);
    std::string PrepareFile(); // empty when the file is usable
    std::string Migrate(int from, bool& damaged);
    std::string ThinPair(std::int64_t pair, std::int64_t since, std::int64_t until, std::int64_t step,
                         int& removed);
    void MoveAside(const std::string& why, const char* suffix);
    void Close();
    void Log(const std::string& line) const;

    std::string path_;
    HistoryLog log_;
    StoreOptions options_;
    sqlite3* db_ = nullptr;
    // Where each tier's last thinning ended, and the oldest point written since: spans before both are
    // thinned already. INT64_MIN: everything is looked at.
    std::int64_t thinnedUntil_[2] = {INT64_MIN, INT64_MIN};
    std::int64_t writtenSince_ = INT64_MAX;
};

} // namespace quorvane::history
