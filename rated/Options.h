// Options: the command line of quorvane-rated.
#pragma once

#include <string>
#include <vector>

#include "rated/RateFeed.h"
#include "rated/Result.h"

namespace quorvane::rated {

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    FeedOptions feed;
    bool startGiven = false;
    bool help = false;
};

// Reads the arguments after the program name. --rates left out leaves feed.source empty.
Result<Options> ParseOptions(const std::vector<std::string>& args);

// Splits "HOST:PORT" or "[IPv6]:PORT".
Result<std::pair<std::string, int>> ParseListenAddress(const std::string& text);

// The shipped rates file: beside the installed program's data, in the build tree, or in the sources.
std::string DefaultRatesFile(const std::string& executablePath);

std::string UsageText();

} // namespace quorvane::rated
