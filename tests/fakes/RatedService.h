// RatedService: quorvane-rated's server running in-process on a free loopback port, for the tests.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rated/RateFeed.h"
#include "rated/RateServer.h"
#include "util/Xml.h"

namespace quorvane::test {

inline std::string SampleRatesFile() {
    return std::string(QUORVANE_TEST_DATA) + "/rated/eurofxref-daily.xml";
}

// Feed options for a source; refresh in seconds (0: never); a walk's starting number turns simulation on.
inline rated::FeedOptions Feed(std::string source, int refresh = 0) {
    rated::FeedOptions options;
    options.source = std::move(source);
    options.refresh = std::chrono::seconds(refresh);
    return options;
}
inline rated::FeedOptions SimulatedFeed(std::uint64_t start, std::function<std::int64_t()> step = {}) {
    rated::FeedOptions options = Feed(SampleRatesFile());
    options.simulate = true;
    options.walkStart = start;
    options.walkStep = std::move(step);
    return options;
}

// Collects the log lines of a feed and a server.
class LogCollector {
public:
    rated::LogSink Sink() {
        return [this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        };
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::size_t Count(std::string_view part) const {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const auto& line : lines_)
            n += line.find(part) != std::string::npos;
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Loads the rates, binds port 0, serves on a thread; the destructor stops and joins it.
class RatedService {
public:
    explicit RatedService(rated::FeedOptions feedOptions = {}, rated::ServerOptions serverOptions = {})
        : feed_(WithDefaults(std::move(feedOptions)), log.Sink()), server_(feed_, log.Sink(), serverOptions) {
        loaded_ = static_cast<bool>(feed_.Load());
        auto bound = server_.Bind("127.0.0.1", 0);
        port_ = bound ? bound.value() : 0;
        if (port_ > 0)
            thread_ = std::thread([this] { server_.Run(); });
        // The socket is listening once bound; one answered request shows the accept loop runs.
        ready_ = port_ > 0 && Client().Get("/CurrencyConvertor.asmx");
    }
    ~RatedService() {
        server_.Stop();
        if (thread_.joinable())
            thread_.join();
    }
    RatedService(const RatedService&) = delete;
    RatedService& operator=(const RatedService&) = delete;

    bool Ready() const { return loaded_ && ready_; }
    int Port() const { return port_; }
    rated::RateFeed& Feed() { return feed_; }
    rated::RateServer& Server() { return server_; }
    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", port_);
        client.set_connection_timeout(5);
        client.set_read_timeout(10);
        client.set_write_timeout(10);
        client.set_tcp_nodelay(true); // headers and body go in two writes; no waiting for delayed ACKs
        return client;
    }
    httplib::Result Post(const std::string& body, const std::string& action = "") const {
        httplib::Headers headers;
        if (!action.empty())
            headers.emplace("SOAPAction", action);
        return Client().Post("/CurrencyConvertor.asmx", headers, body, "text/xml");
    }

    LogCollector log;

private:
    static rated::FeedOptions WithDefaults(rated::FeedOptions options) {
        if (options.source.empty())
            options.source = SampleRatesFile();
        return options;
    }

    rated::RateFeed feed_;
    rated::RateServer server_;
    std::thread thread_;
    int port_ = 0;
    bool loaded_ = false;
    bool ready_ = false;
};

inline std::string ConversionRequest(std::string_view from, std::string_view to) {
    return "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
           "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
           " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
           "<SOAP-ENV:Body><ConversionRate xmlns=\"http://www.webserviceX.NET/\"><FromCurrency>" +
           std::string(from) + "</FromCurrency><ToCurrency>" + std::string(to) +
           "</ToCurrency></ConversionRate></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// XPath over a document with the prefixes soap (SOAP envelope), wsdl, wsoap (WSDL SOAP binding), s
// (XML Schema) and tns (the service namespace).
class XPathDoc {
public:
    explicit XPathDoc(const std::string& text) {
        auto parsed = xml::Parse(text);
        if (parsed.doc) {
            doc_ = std::move(parsed.doc);
            ctx_.reset(xmlXPathNewContext(doc_.get()));
            const std::pair<const char*, const char*> prefixes[] = {
                {"soap", "http://schemas.xmlsoap.org/soap/envelope/"},
                {"wsdl", "http://schemas.xmlsoap.org/wsdl/"},
                {"wsoap", "http://schemas.xmlsoap.org/wsdl/soap/"},
                {"s", "http://www.w3.org/2001/XMLSchema"},
                {"tns", "http://www.webserviceX.NET/"},
            };
            for (auto [prefix, uri] : prefixes)
                xmlXPathRegisterNs(ctx_.get(), reinterpret_cast<const xmlChar*>(prefix),
                                   reinterpret_cast<const xmlChar*>(uri));
        }
    }
    bool Valid() const { return ctx_ != nullptr; }

    // The string values of every node the expression selects.
    std::vector<std::string> All(const std::string& expression) const {
        std::vector<std::string> values;
        if (!ctx_)
            return values;
        std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
            xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()), ctx_.get()),
            xmlXPathFreeObject);
        if (!result || result->type != XPATH_NODESET || !result->nodesetval)
            return values;
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            xmlChar* text = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
            values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            xmlFree(text);
        }
        return values;
    }
    // The one value the expression selects; empty when it selects none or several.
    std::string One(const std::string& expression) const {
        auto values = All(expression);
        return values.size() == 1 ? values[0] : std::string("<" + std::to_string(values.size()) + " nodes>");
    }

private:
    struct ContextFree {
        void operator()(xmlXPathContext* ctx) const { xmlXPathFreeContext(ctx); }
    };
    xml::DocPtr doc_;
    std::unique_ptr<xmlXPathContext, ContextFree> ctx_;
};

} // namespace quorvane::test
