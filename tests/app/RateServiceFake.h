// A CurrencyConvertor service on loopback whose rates the test sets, recording the pairs asked for.
#pragma once

#include <httplib.h>

#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quorvane::test {

class RateServiceFake {
public:
    RateServiceFake() {
        std::ifstream in(std::string(QUORVANE_TEST_DATA) + "/currency-convertor.wsdl");
        std::stringstream text;
        text << in.rdbuf();
        description_ = text.str();

        server_.Get(R"(/.*)", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(Description(), "text/xml; charset=utf-8");
        });
        server_.Post(R"(/.*)",
                     [this](const httplib::Request& req, httplib::Response& res) { Answer(req, res); });
        // One request per connection, so that stopping never waits for an idle kept-alive client.
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 500 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~RateServiceFake() {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }
    RateServiceFake(const RateServiceFake&) = delete;
    RateServiceFake& operator=(const RateServiceFake&) = delete;

    bool Running() const { return port_ > 0 && server_.is_running(); }
    std::string DescriptionAddress() const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/CurrencyConvertor.asmx?wsdl";
    }

    // The rate answered for "FROM/TO"; a pair without a rate gets a SOAP fault.
    void SetRate(const std::string& pair, double rate) {
        std::lock_guard lock(mutex_);
        rates_[pair] = rate;
    }
    void Fail(const std::string& pair) {
        std::lock_guard lock(mutex_);
        rates_.erase(pair);
    }
    std::vector<std::string> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    void ClearRequests() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }

private:
    std::string Description() const {
        std::string text = description_;
        const std::string from = "http://www.webservicex.net/CurrencyConvertor.asmx";
        const std::string to = "http://127.0.0.1:" + std::to_string(port_) + "/CurrencyConvertor.asmx";
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        return text;
    }

    void Answer(const httplib::Request& req, httplib::Response& res) {
        static const std::regex fromRe("<(?:\\w+:)?FromCurrency>([^<]*)<");
        static const std::regex toRe("<(?:\\w+:)?ToCurrency>([^<]*)<");
        std::smatch from, to;
        std::regex_search(req.body, from, fromRe);
        std::regex_search(req.body, to, toRe);
        const std::string pair = from.str(1) + "/" + to.str(1);
        std::lock_guard lock(mutex_);
        requests_.push_back(pair);
        const auto rate = rates_.find(pair);
        const std::string head =
            R"(<?xml version="1.0" encoding="utf-8"?>)"
            R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>)";
        const std::string tail = "</soap:Body></soap:Envelope>";
        if (rate == rates_.end()) {
            res.status = 500;
            res.set_content(
                head +
                    "<soap:Fault><faultcode>soap:Server</faultcode><faultstring>no rate</faultstring>"
                    "</soap:Fault>" +
                    tail,
                "text/xml; charset=utf-8");
            return;
        }
        std::ostringstream value;
        value.precision(17);
        value << rate->second;
        res.set_content(
            head + R"(<ConversionRateResponse xmlns="http://www.webserviceX.NET/"><ConversionRateResult>)" +
                value.str() + "</ConversionRateResult></ConversionRateResponse>" + tail,
            "text/xml; charset=utf-8");
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    std::string description_;
    mutable std::mutex mutex_;
    std::map<std::string, double> rates_;
    std::vector<std::string> requests_;
};

} // namespace quorvane::test
