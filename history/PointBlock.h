// PointBlock: a pair's points of one minute, packed into the bytes of one row of the history file.
//
// Each point is two varints: ((at - previous at - 1) * 4 + source code), with the previous at starting
// one second before the block; then the zigzagged difference of the rate's bits from the previous rate's
// (starting from 0), so that a rate reads back bit for bit and a rate that did not change costs a byte.
// Source codes: 0 service, 1 intraday, 2 ecb-daily, 3 unknown.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "history/HistoryStore.h"

namespace quorvane::history {

inline constexpr std::int64_t BlockSeconds = 60;
// Sixty points of at most 2 + 10 bytes: anything longer was not written by us.
inline constexpr std::size_t MaxBlockBytes = BlockSeconds * 12;
// Times this far from 1970 still have room for a block around them.
inline constexpr std::int64_t MaxPointTime = std::int64_t{1} << 62;

// The start of the block that holds at (floor to BlockSeconds); at within +-MaxPointTime.
std::int64_t BlockStart(std::int64_t at);

// points: of one pair, oldest first, no time twice, all in the block that begins at start.
std::string EncodeBlock(std::int64_t start, std::span<const RatePoint> points);

// The points of a block read from the file, with from and to filled in; nothing when the bytes are not a
// block beginning at start (too long, cut short, times out of order or outside the block).
std::optional<std::vector<RatePoint>> DecodeBlock(std::int64_t start, std::string_view bytes, Currency from,
                                                  Currency to);

} // namespace quorvane::history
