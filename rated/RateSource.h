// RateSource: reads the bytes of a rates document from a file or an http(s) address.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "rated/Result.h"

namespace quorvane::rated {

// Rates documents are a few kilobytes; anything much larger is not one.
inline constexpr std::size_t MaxRatesDocument = 8 * 1024 * 1024;

struct ReadLimits {
    std::size_t maxBytes = MaxRatesDocument;
    std::chrono::milliseconds connect{10'000};
    std::chrono::milliseconds total{30'000}; // the whole download, connect included
};

// The whole document at source: a URL beginning with http:// or https:// (fetched with bounded connect
// and transfer time-outs, redirects followed, status 400 and above a failure) or a file path.
// Blocks for the read; fails with a readable text. A set cancel flag ends a download early.
Result<std::string> ReadRatesSource(const std::string& source, const std::atomic<bool>* cancel = nullptr,
                                    const ReadLimits& limits = {});

} // namespace quorvane::rated
