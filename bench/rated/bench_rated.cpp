// What one ConversionRate costs the service before the network: reading, computing, writing.
#include <benchmark/benchmark.h>

#include "rated/RateFeed.h"
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

} // namespace

BENCHMARK_MAIN();
