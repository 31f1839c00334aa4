// A CurrencyConvertor service on loopback whose rates the test sets, recording the pairs asked for.
#pragma once

#include "fakes/FakeHttpServer.h"

#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::test {

class RateServiceFake {
public:
    RateServiceFake() {
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
        std::lock_guard lock(mutex_);
        const auto rate = rates_.find(Pair(request.body));
        fakes::FakeResponse answer;
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
    // Last, so that it stops before the rates its answers read go away.
    fakes::FakeHttpServer server_{fakes::FakeHttpServer::Connections::OneRequestEach};
};

} // namespace quorvane::test
