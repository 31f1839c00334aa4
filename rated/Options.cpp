#include "rated/Options.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "service/ServiceNames.h"
#include "util/HostPort.h"
#include "util/UserFolders.h"

namespace quorvane::rated {

namespace {

template <class T> bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

} // namespace

Result<std::pair<std::string, int>> ParseListenAddress(const std::string& text) {
    const auto address = ParseHostPort(text);
    if (address && address->port)
        return std::pair{address->host, *address->port};
    if (text.starts_with('[') && text.find(']') == std::string::npos)
        return Error{"--listen: unbalanced brackets in '" + text + "'"};
    if (address && !text.starts_with('[') && address->host.find(':') != std::string::npos)
        return Error{"--listen: write an IPv6 address in brackets, as [::1]:PORT"};
    if (address || text.find(':') == std::string::npos || text.starts_with(':'))
        return Error{"--listen wants HOST:PORT, not '" + text + "'"};
    return Error{"--listen: the port must be a number from 0 to 65535, not '" + text.substr(text.rfind(':') + 1) +
                 "'"};
}

Result<Options> ParseOptions(const std::vector<std::string>& args) {
    Options options;
    options.port = DefaultServicePort;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--simulate") {
            options.feed.simulate = true;
        } else if (arg == "--listen" || arg == "--rates" || arg == "--refresh" || arg == "--walk-start" ||
                   arg == "--source" || arg == "--intraday-refresh") {
            const std::string* text = value();
            if (!text)
                return Error{arg + " needs a value"};
            if (arg == "--listen") {
                auto address = ParseListenAddress(*text);
                if (!address)
                    return address.error();
                std::tie(options.host, options.port) = address.value();
            } else if (arg == "--rates") {
                if (text->empty())
                    return Error{"--rates needs a file or an http(s) address"};
                options.feed.source = *text;
            } else if (arg == "--source") {
                if (*text == "auto")
                    options.source = SourceChoice::Auto;
                else if (*text == "coinbase")
                    options.source = SourceChoice::Coinbase;
                else if (*text == "ecb")
                    options.source = SourceChoice::Ecb;
                else
                    return Error{"--source wants auto, coinbase or ecb, not '" + *text + "'"};
            } else if (arg == "--intraday-refresh") {
                long long seconds = -1;
                if (!ParseNumber(*text, seconds) || seconds < 1 || seconds > 86400)
                    return Error{"--intraday-refresh wants seconds from 1 to a day, not '" + *text + "'"};
                options.feed.intradayRefresh = std::chrono::seconds(seconds);
            } else if (arg == "--refresh") {
                long long seconds = -1;
                if (!ParseNumber(*text, seconds) || seconds < 0 || seconds > 365LL * 86400)
                    return Error{"--refresh wants seconds from 0 (never) to a year, not '" + *text + "'"};
                options.feed.refresh = std::chrono::seconds(seconds);
            } else {
                if (!ParseNumber(*text, options.feed.walkStart))
                    return Error{"--walk-start wants a whole number from 0 to 2^64-1, not '" + *text + "'"};
                options.startGiven = true;
            }
        } else {
            return Error{"unknown argument '" + arg + "' (see --help)"};
        }
    }
    if (options.feed.simulate && !options.startGiven)
        options.feed.walkStart = (std::uint64_t(std::random_device{}()) << 32) | std::random_device{}();
    return options;
}

std::string DefaultRatesFile(const std::string& executablePath) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(executablePath).parent_path();
    const fs::path candidates[] = {
        dir / "../share/quorvane/eurofxref-daily.xml",
        dir / "data/eurofxref-daily.xml",
        fs::path(QUORVANE_RATED_SOURCE_DATA) / "eurofxref-daily.xml",
    };
    std::error_code ec;
    for (const fs::path& candidate : candidates)
        if (fs::is_regular_file(candidate, ec))
            return candidate.lexically_normal().string();
    return candidates[2].string();
}

std::string LiveRatesAddress() {
    const char* address = std::getenv("QUORVANE_ECB_URL");
    return address && *address ? address : EcbDailyRatesAddress;
}

std::string IntradayAddress() {
    const char* address = std::getenv("QUORVANE_INTRADAY_URL");
    return address && *address ? address : IntradayRatesAddress;
}

void UseIntradaySource(FeedOptions& feed, SourceChoice choice) {
    if (choice == SourceChoice::Ecb || feed.simulate)
        return;
    feed.intraday = IntradayAddress();
    feed.intradayOnly = choice == SourceChoice::Coinbase;
}

bool UseDefaultSources(FeedOptions& feed, const std::string& executablePath) {
    if (!feed.source.empty())
        return false;
    const std::string shipped = DefaultRatesFile(executablePath);
    if (feed.simulate) {
        feed.source = shipped;
        return false;
    }
    feed.source = LiveRatesAddress();
    feed.cacheFile = (std::filesystem::path(UserFolder(UserFolderKind::Cache)) / "eurofxref-daily.xml").string();
    feed.fallbacks = {feed.cacheFile, shipped};
    return true;
}

std::string UsageText() {
    return "Usage: quorvane-rated [--listen HOST:PORT] [--source auto|coinbase|ecb] [--rates FILE|URL]\n"
           "                      [--refresh SECONDS] [--intraday-refresh SECONDS]\n"
           "                      [--simulate [--walk-start N]]\n"
           "\n"
           "A local CurrencyConvertor service (SOAP 1.1) for Quorvane.\n"
           "\n"
           "  --listen HOST:PORT  where to listen (default 127.0.0.1:" +
           std::to_string(DefaultServicePort) +
           "; [::1]:PORT for IPv6, port 0 for any free one)\n"
           "  --source SOURCE     auto (default): intraday rates from " +
           std::string(IntradayRatesAddress) +
           "\n"
           "                      (QUORVANE_INTRADAY_URL names another address), the ECB's reference\n"
           "                      rates for the codes it lacks and for all while it fails;\n"
           "                      coinbase: the intraday rates alone; ecb: the ECB's rates alone\n"
           "  --intraday-refresh SECONDS  read the intraday rates this often (default 60)\n"
           "  --rates SOURCE      euro reference rates in the ECB daily XML format: a file or an\n"
           "                      http(s) address. Without it: the ECB's daily rates from\n"
           "                      " +
           std::string(EcbDailyRatesAddress) +
           "\n"
           "                      (QUORVANE_ECB_URL names another address), their last good copy\n"
           "                      kept in $XDG_CACHE_HOME/quorvane/ (~/.cache/quorvane/) and served\n"
           "                      when they cannot be read, then the rates file shipped with the program\n"
           "  --refresh SECONDS   read the rates again this often (default 3600, 0: never);\n"
           "                      a failed read keeps the last good rates\n"
           "  --simulate          let every rate drift in a small random walk, for demonstrations\n"
           "                      (the ECB's rates alone: the shipped file unless --rates is given)\n"
           "  --walk-start N      where the walk's random numbers start, so that a run can be repeated\n"
           "  --help              show this text\n"
           "\n"
           "The description is at http://HOST:PORT/CurrencyConvertor.asmx?wsdl; GET\n"
           "http://HOST:PORT/CurrencyConvertor.asmx?rates=USD-JPY,EUR-USD answers JSON with each pair's\n"
           "rate, source and as-of time.\n"
           "One line per request goes to the standard error. SIGINT or SIGTERM stops the service.\n";
}

} // namespace quorvane::rated
