// An HTTP server on loopback for tests: serves fixed or scripted responses and records every request.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

namespace quorvane::fakes {

struct RecordedRequest {
    std::string method;
    std::string path;   // without the query
    std::string target; // path and query as sent
    httplib::Headers headers;
    std::string body;
    int remotePort = 0; // the client's port: equal ports mean one reused connection

    std::string Header(const std::string& name) const; // empty when absent
    std::size_t HeaderCount(const std::string& name) const;
};

struct FakeResponse {
    int status = 200;
    std::string contentType = "text/xml; charset=utf-8"; // empty: the library's default, text/plain
    std::string body;
    std::map<std::string, std::string> headers;
    bool stall = false; // accept the request and never answer (until the server stops)
};

class TestCertificate;

// Answers one request from the request itself; called without the server's lock held.
using FakeResponder = std::function<FakeResponse(const RecordedRequest&)>;

// Binds 127.0.0.1 on a free port and runs in its own thread from construction to destruction.
class FakeHttpServer {
public:
    enum class Connections {
        KeepAlive,
        OneRequestEach, // stopping never waits for a client that keeps an idle connection open
    };

    FakeHttpServer() : FakeHttpServer(Connections::KeepAlive) {}
    explicit FakeHttpServer(Connections connections);
    explicit FakeHttpServer(const TestCertificate& tls); // https with this certificate
    ~FakeHttpServer();                                   // releases stalled requests, stops and joins
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    int Port() const { return port_; }
    bool Running() const { return server_->is_running(); }
    std::string Url(const std::string& target) const; // "http://127.0.0.1:PORT" + target (https with TLS)

    // The response for every request with this method and path (query ignored).
    void Serve(const std::string& method, const std::string& path, FakeResponse response);
    // Responses used once each, in order, before the one given by Serve.
    void Script(const std::string& method, const std::string& path, std::vector<FakeResponse> responses);
    // Every request with this method and path answered by responder, after any scripted responses.
    void Respond(const std::string& method, const std::string& path, FakeResponder responder);

    std::vector<RecordedRequest> Requests() const;
    std::vector<RecordedRequest> Requests(const std::string& method) const;
    void ClearRequests();
    void SetRecording(bool on); // off for benchmarks

private:
    struct Route {
        std::deque<FakeResponse> scripted;
        std::unique_ptr<FakeResponse> fixed;
        FakeResponder responder;
    };

    void Handle(const httplib::Request& request, httplib::Response& response);

    void Start(Connections connections);

    std::unique_ptr<httplib::Server> server_;
    std::string scheme_ = "http";
    std::thread thread_;
    int port_ = -1;

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool stopping_ = false;
    bool recording_ = true;
    std::map<std::pair<std::string, std::string>, Route> routes_;
    std::vector<RecordedRequest> requests_;
};

// The published CurrencyConvertor description (tests/data) with its SOAP address set to endpoint.
std::string CurrencyConvertorDescription(const std::string& endpoint);

// A ConversionRate response envelope carrying text as the result.
std::string RateResponse(const std::string& text);

// A SOAP 1.1 fault envelope.
std::string FaultResponse(const std::string& faultString);

// A server that publishes the description at /CurrencyConvertor.asmx?wsdl and answers every POST to
// /CurrencyConvertor.asmx with rate.
class FakeRateService {
public:
    explicit FakeRateService(const std::string& rate = "151.25");
    FakeHttpServer& Server() { return server_; }
    std::string DescriptionUrl() const { return server_.Url("/CurrencyConvertor.asmx?wsdl"); }
    std::string EndpointUrl() const { return server_.Url("/CurrencyConvertor.asmx"); }
    void SetRate(const std::string& rate);

private:
    FakeHttpServer server_;
};

} // namespace quorvane::fakes
