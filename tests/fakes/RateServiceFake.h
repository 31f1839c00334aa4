// A CurrencyConvertor service on loopback whose rates the test sets, recording the pairs asked for.
#pragma once

#include "fakes/FakeHttpServer.h"

#include <functional>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::test {

class RateServiceFake {
public:
    explicit RateServiceFake(
        fakes::FakeHttpServer::Connections connections = fakes::FakeHttpServer::Connections::OneRequestEach)
        : server_(connections) {
        fakes::FakeResponse description;
        description.body = fakes::CurrencyConvertorDescription(server_.Url(Endpoint));
        server_.Serve("GET", Endpoint, std::move(description));
        server_.Respond("POST", Endpoint,
                        [this](const fakes::RecordedRequest& request) { return Answer(request); });
    }

    bool Running() const { return server_.Running(); }
    std::string DescriptionAddress() const { return server_.Url(std::string(Endpoint) + "?wsdl"); }

    // The rate answered for "FROM/TO"; a pair without a rate gets a SOAP fault.
    void SetRate(const std::string& pair, double rate) {
        std::lock_guard lock(mutex_);
        rates_[pair] = rate;
    }
    void Fail(const std::string& pair) {
        std::lock_guard lock(mutex_);
        rates_.erase(pair);
    }
    // The pairs asked for, in order.
    std::vector<std::string> Requests() const {
        std::vector<std::string> pairs;
        for (const auto& request : server_.Requests("POST"))
            pairs.push_back(Pair(request.body));
        return pairs;
    }
    void ClearRequests() { server_.ClearRequests(); }
    // Connections the POSTs came on (one client port each).
    std::size_t Connections() const {
        std::set<int> ports;
        for (const auto& request : server_.Requests("POST"))
            ports.insert(request.remotePort);
        return ports.size();
    }
    // Runs on the server's thread with the pair asked for, before its answer; it may wait.
    void BeforeAnswer(std::function<void(const std::string& pair)> hook) {
        std::lock_guard lock(mutex_);
        beforeAnswer_ = std::move(hook);
    }
    // POSTs are taken and never answered (until the server stops).
    void Silence() {
        std::lock_guard lock(mutex_);
        silent_ = true;
    }

private:
    static constexpr const char* Endpoint = "/CurrencyConvertor.asmx";

    static std::string Pair(const std::string& body) {
        static const std::regex fromRe("<(?:\\w+:)?FromCurrency>([^<]*)<");
        static const std::regex toRe("<(?:\\w+:)?ToCurrency>([^<]*)<");
        std::smatch from, to;
        std::regex_search(body, from, fromRe);
        std::regex_search(body, to, toRe);
        return from.str(1) + "/" + to.str(1);
    }

    fakes::FakeResponse Answer(const fakes::RecordedRequest& request) const {
        const std::string pair = Pair(request.body);
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard lock(mutex_);
            hook = beforeAnswer_;
        }
        if (hook)
            hook(pair);
        std::lock_guard lock(mutex_);
        const auto rate = rates_.find(pair);
        fakes::FakeResponse answer;
        if (silent_) {
            answer.stall = true;
            return answer;
        }
        if (rate == rates_.end()) {
            answer.status = 500;
            answer.body = fakes::FaultResponse("no rate");
            return answer;
        }
        std::ostringstream value;
        value.precision(17);
        value << rate->second;
        answer.body = fakes::RateResponse(value.str());
        return answer;
    }

    mutable std::mutex mutex_;
    std::map<std::string, double> rates_;
    std::function<void(const std::string&)> beforeAnswer_;
    bool silent_ = false;
    // Last, so that it stops before the rates its answers read go away.
    fakes::FakeHttpServer server_;
};

} // namespace quorvane::test
