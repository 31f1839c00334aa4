// quorvanectl rate FROM TO [--wsdl ADDRESS]: one rate through the program's own client.
#include <charconv>
#include <cmath>
#include <ctime>

#include "service/RateInfo.h"
#include "service/WebService.h"
#include "tools/Command.h"
#include "util/Text.h"

namespace quorvane::ctl {

namespace {

const char* RateHelp =
    "usage: quorvanectl rate FROM TO [--wsdl ADDRESS]\n"
    "\n"
    "Asks the rate service for the rate from currency FROM to currency TO, exactly as Quorvane does\n"
    "(service description first, then the SOAP request), and prints the rate with full precision,\n"
    "followed by its source and as-of time when the service tells them (quorvane-rated does).\n"
    "Codes are the service's currency names in any letter case, e.g. USD, jpy, TRY_ (sent as TRY).\n"
    "\n"
    "  --wsdl ADDRESS  the service description: an http or https URL or a local file\n"
    "                  (default: the local rate service, "
    "http://127.0.0.1:47210/CurrencyConvertor.asmx?wsdl)\n"
    "  --help          this text\n"
    "\n"
    "Exit status 0 with the rate on standard output; 1 with the reason on standard error\n"
    "(HTTP status, SOAP fault, malformed response, time-out, unknown code, ...); 2 for wrong arguments.\n";

struct RateArguments {
    std::vector<std::string> codes;
    std::string wsdl;
    bool help = false;
};

// Reads the arguments; returns an error text, empty when they are usable.
std::string Parse(const std::vector<std::string>& args, RateArguments& parsed) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if (arg == "--wsdl") {
            if (i + 1 >= args.size())
                return "--wsdl needs an address";
            parsed.wsdl = args[++i];
        } else if (arg.rfind("--wsdl=", 0) == 0) {
            parsed.wsdl = arg.substr(7);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else {
            parsed.codes.push_back(arg);
        }
    }
    if (!parsed.help && parsed.codes.size() != 2)
        return "expected two currency codes, FROM and TO";
    return {};
}

// " (coinbase, as of 2026-12-10 07:50:01 UTC)", or nothing when the service does not say.
std::string SourceText(Currency from, Currency to, const std::string& wsdl) {
    if (!wsdl.empty() && !IsHttpAddress(wsdl))
        return {};
    const auto info = GetRateInfo({{from, to}}, wsdl);
    if (!info || !info.value()[0].error.empty())
        return {};
    const std::time_t asOf = static_cast<std::time_t>(info.value()[0].asOf);
    std::tm utc{};
    char when[40] = "unknown time";
    if (asOf > 0 && gmtime_r(&asOf, &utc))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return " (" + info.value()[0].source + ", as of " + when + ")";
}

} // namespace

int RunRateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    RateArguments parsed;
    const std::string usage = Parse(args, parsed);
    if (const auto ended = UsageEnds("rate", usage, parsed.help, RateHelp, out, err))
        return *ended;
    const auto pair = ReadPair("rate", parsed.codes, err);
    if (!pair)
        return ExitFailure;
    const auto [from, to] = *pair;

    if (!InitRateService(parsed.wsdl)) {
        err << "quorvanectl rate: the rate service client could not be set up\n";
        return 1;
    }
    const auto rate = RequestConversionRate(from, to);
    if (!rate) {
        err << "quorvanectl rate: " << Describe(rate.error()) << "\n";
        return 1;
    }
    out << ShortestNumberText(rate.value()) << SourceText(from, to, parsed.wsdl) << "\n";
    if (!(rate.value() > 0))
        err << "quorvanectl rate: note: Quorvane treats a rate that is not above 0 as a failed fetch\n";
    return 0;
}

} // namespace quorvane::ctl
