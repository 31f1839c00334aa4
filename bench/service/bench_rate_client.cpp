// The client's cost over a bare libcurl POST of the same bytes to the same loopback server, and the
// cost of a first call (description download and parse, then the POST).
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "fakes/FakeHttpServer.h"
#include "service/CurrencyConvertor.h"
#include "service/ServiceDescription.h"
#include "service/SoapMessage.h"
#include "service/WebService.h"

using namespace quorvane;

namespace {

fakes::FakeRateService* Service = nullptr;

void BM_GetConversionRate(benchmark::State& state) {
    InitRateService(Service->DescriptionUrl());
    if (GetConversionRate(USD, JPY) <= 0) { // description and connection in place
        state.SkipWithError("the first call failed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(GetConversionRate(USD, JPY));
    RateService.reset();
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// The same bytes and headers as the client sends, on one kept-alive handle, nothing else.
class BarePost {
public:
    BarePost() : curl_(curl_easy_init(), curl_easy_cleanup) {
        headers_ = curl_slist_append(headers_, ("SOAPAction: \"" + DefaultSoapAction() + "\"").c_str());
        headers_ = curl_slist_append(headers_, "Content-Type: text/xml");
        headers_ = curl_slist_append(headers_, "Expect:");
        curl_easy_setopt(curl_.get(), CURLOPT_URL, url_.c_str());
        curl_easy_setopt(curl_.get(), CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(curl_.get(), CURLOPT_POSTFIELDS, body_.c_str());
        curl_easy_setopt(curl_.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body_.size()));
        curl_easy_setopt(curl_.get(), CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(curl_.get(), CURLOPT_WRITEDATA, &response_);
    }
    ~BarePost() { curl_slist_free_all(headers_); }

    bool Send() {
        response_.clear();
        return curl_easy_perform(curl_.get()) == CURLE_OK && !response_.empty();
    }

private:
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl_;
    const std::string body_ = WriteConversionRateRequest(ServiceNamespace, "USD", "JPY");
    const std::string url_ = Service->EndpointUrl();
    curl_slist* headers_ = nullptr;
    std::string response_;
};

void BM_BareCurlPost(benchmark::State& state) {
    BarePost bare;
    for (auto _ : state) {
        if (!bare.Send()) {
            state.SkipWithError("bare POST failed");
            break;
        }
    }
}

void BM_FirstCall(benchmark::State& state) {
    for (auto _ : state) {
        auto proxy = CreateCurrencyConvertorProxy(true, Service->DescriptionUrl());
        const auto rate = proxy->ConversionRate(USD, JPY);
        if (!rate) {
            state.SkipWithError(Describe(rate.error()).c_str());
            break;
        }
    }
}

void BM_DescriptionParseOnly(benchmark::State& state) {
    const std::string wsdl = fakes::CurrencyConvertorDescription(Service->EndpointUrl());
    state.counters["bytes"] = static_cast<double>(wsdl.size());
    const DocumentLoader fromMemory = [&](const std::string&) -> ServiceResult<std::string> { return wsdl; };
    for (auto _ : state) {
        auto description = ServiceDescription::Load("memory", fromMemory);
        benchmark::DoNotOptimize(description.value().Resolve(ServiceName, PortName, OperationName));
    }
}

void BM_ReadResponseOnly(benchmark::State& state) {
    const std::string response = fakes::RateResponse("151.25");
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadConversionRateResponse(response).value());
}

void BM_ResolveOnly(benchmark::State& state) {
    const std::string wsdl = fakes::CurrencyConvertorDescription(Service->EndpointUrl());
    const DocumentLoader fromMemory = [&](const std::string&) -> ServiceResult<std::string> { return wsdl; };
    auto description = ServiceDescription::Load("memory", fromMemory);
    for (auto _ : state)
        benchmark::DoNotOptimize(description.value().Resolve(ServiceName, PortName, OperationName));
}

BENCHMARK(BM_GetConversionRate)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_BareCurlPost)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_FirstCall)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DescriptionParseOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadResponseOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResolveOnly)->Unit(benchmark::kMicrosecond);

// Prints the usual table and keeps each benchmark's real time per iteration for the ratio.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            realTime[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> realTime;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    fakes::FakeRateService service("151.25");
    service.Server().SetRecording(false);
    Service = &service;

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.realTime.find("BM_GetConversionRate");
    const auto bare = reporter.realTime.find("BM_BareCurlPost");
    if (ours != reporter.realTime.end() && bare != reporter.realTime.end() && bare->second > 0)
        std::printf("\nGetConversionRate / bare libcurl POST: %.3f (goal: at most 1.3)\n",
                    ours->second / bare->second);
    benchmark::Shutdown();
    Service = nullptr;
    return 0;
}
