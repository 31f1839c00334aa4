// Options: the command line of quorvane-rated.
#pragma once

#include <string>
#include <vector>

#include "rated/RateFeed.h"
#include "rated/Result.h"

namespace quorvane::rated {

enum class SourceChoice { Auto, Coinbase, Ecb };

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    FeedOptions feed;
    SourceChoice source = SourceChoice::Auto;
    bool startGiven = false;
    bool help = false;
};

// Reads the arguments after the program name. --rates left out leaves feed.source empty.
Result<Options> ParseOptions(const std::vector<std::string>& args);

// Splits "HOST:PORT" or "[IPv6]:PORT".
Result<std::pair<std::string, int>> ParseListenAddress(const std::string& text);

// The European Central Bank's daily reference rates, the source when no --rates is given. The variable
// QUORVANE_ECB_URL, when set, names another address of the same document (a mirror, or a test's server).
inline constexpr const char* EcbDailyRatesAddress = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
std::string LiveRatesAddress();

// Coinbase's public exchange rates, the intraday source. QUORVANE_INTRADAY_URL, when set, names another
// address of the same answer (a test's server).
inline constexpr const char* IntradayRatesAddress = "https://api.coinbase.com/v2/exchange-rates";
std::string IntradayAddress();

// Gives the feed its intraday source as chosen (none when simulating or with the ECB alone).
void UseIntradaySource(FeedOptions& feed, SourceChoice choice);

// Without --rates or --simulate: the live rates, their last good copy in the user's cache folder, then the
// shipped file. Returns whether that is so; otherwise the feed is left as given (with the shipped file
// when --rates was left out).
bool UseDefaultSources(FeedOptions& feed, const std::string& executablePath);

// The shipped rates file: beside the installed program's data, in the build tree, or in the sources.
std::string DefaultRatesFile(const std::string& executablePath);

std::string UsageText();

} // namespace quorvane::rated
