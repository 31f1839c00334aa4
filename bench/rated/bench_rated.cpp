// What one ConversionRate costs the service before the network: reading, computing, writing.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <thread>

#include "rated/RateFeed.h"
#include "rated/RateSource.h"
#include "rated/SoapMessages.h"

using namespace quorvane;
using namespace quorvane::rated;

namespace {

const std::string Request =
    "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
    "<SOAP-ENV:Body><ConversionRate xmlns=\"http://www.webserviceX.NET/\"><FromCurrency>USD</FromCurrency>"
    "<ToCurrency>JPY</ToCurrency></ConversionRate></SOAP-ENV:Body></SOAP-ENV:Envelope>";

FeedOptions Options(bool simulate) {
    FeedOptions options;
    options.source = std::string(QUORVANE_RATED_DATA) + "/eurofxref-daily.xml";
    options.simulate = simulate;
    options.walkStart = 1;
    return options;
}

void ReadRequest(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadConversionRequest(Request));
}
BENCHMARK(ReadRequest);

void WriteResponse(benchmark::State& state) {
    double rate = 135.83587523369084;
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteConversionResponse(rate));
        rate += 1e-9;
    }
}
BENCHMARK(WriteResponse);

void CrossRateOfFeed(benchmark::State& state) {
    RateFeed feed(Options(state.range(0) != 0), [](const std::string&) {});
    if (!feed.Load()) {
        state.SkipWithError("the shipped rates file cannot be read");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(feed.Rate(USD, JPY));
}
BENCHMARK(CrossRateOfFeed)->Arg(0)->Arg(1)->ArgName("simulated");

void WholeExchange(benchmark::State& state) {
    RateFeed feed(Options(false), [](const std::string&) {});
    if (!feed.Load()) {
        state.SkipWithError("the shipped rates file cannot be read");
        return;
    }
    for (auto _ : state) {
        auto request = ReadConversionRequest(Request);
        auto rate = feed.Rate(request.value().from, request.value().to);
        benchmark::DoNotOptimize(WriteConversionResponse(rate.value()));
    }
}
BENCHMARK(WholeExchange);

void Description(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(WriteDescription("http://127.0.0.1:47210/CurrencyConvertor.asmx", "rates"));
}
BENCHMARK(Description);

// A loopback server with the shipped ECB document and an intraday answer of the usual size (about 600
// codes, most of them ones the service does not offer), for the cost of one refresh of each source. Both
// go out uncompressed: the library would otherwise spend milliseconds compressing them on its side.
class SourceServer {
public:
    SourceServer() {
        ecb_ = ReadRatesSource(Options(false).source).value();
        std::string rates;
        for (int c = 0; c < CurrencyCount; ++c)
            rates += std::string(rates.empty() ? "" : ",") + "\"" +
                     std::string(CurrencyExternalName(static_cast<Currency>(c))) + "\":\"" +
                     std::to_string(1.0 + c / 10.0) + "\"";
        for (int i = 0; i < 450; ++i)
            rates += ",\"C" + std::to_string(1000 + i) + "\":\"0.000" + std::to_string(1000 + i) + "\"";
        intraday_ = R"({"data":{"currency":"EUR","rates":{)" + rates + "}}}";
        server_.set_tcp_nodelay(true); // no waiting on delayed acknowledgements between header and body
        server_.Get("/ecb.xml", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(ecb_, "application/octet-stream");
        });
        server_.Get("/intraday", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(intraday_, "application/octet-stream");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (port_ > 0 && !server_.is_running())
            std::this_thread::yield();
    }
    ~SourceServer() {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::size_t IntradayBytes() const { return intraday_.size(); }

private:
    std::string ecb_, intraday_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

// Download on loopback, parse and swap in: Load for the ECB document, LoadIntraday for the intraday one.
void Refresh(benchmark::State& state) {
    static SourceServer server;
    FeedOptions options = Options(false);
    options.source = server.Url("/ecb.xml");
    options.intraday = server.Url("/intraday");
    RateFeed feed(options, [](const std::string&) {});
    if (!feed.Load() || !feed.LoadIntraday()) {
        state.SkipWithError("the loopback sources do not answer");
        return;
    }
    const bool intraday = state.range(0) != 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(intraday ? feed.LoadIntraday() : feed.Load());
    state.SetLabel(intraday ? "intraday, " + std::to_string(server.IntradayBytes()) + " bytes" : "ECB");
}
BENCHMARK(Refresh)->Arg(0)->Arg(1)->ArgName("intraday")->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
