#include "fakes/FakeHttpServer.h"

#include "fakes/TestCertificate.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/socket.h>

namespace quorvane::fakes {

namespace {

// Requests that never get an answer still end once the test is over.
constexpr auto MaxStall = std::chrono::seconds(60);

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

RecordedRequest Record(const httplib::Request& request) {
    return {request.method, request.path, request.target, request.headers, request.body, request.remote_port};
}

} // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

std::size_t RecordedRequest::HeaderCount(const std::string& name) const {
    return headers.count(name);
}

FakeHttpServer::FakeHttpServer(Connections connections) : server_(std::make_unique<httplib::Server>()) {
    Start(connections);
}

FakeHttpServer::FakeHttpServer(const TestCertificate& tls)
    : server_(std::make_unique<httplib::SSLServer>(tls.Certificate(), tls.Key())), scheme_("https") {
    if (!server_->is_valid())
        throw std::runtime_error("the test server cannot use the certificate");
    Start(Connections::KeepAlive);
}

void FakeHttpServer::Start(Connections connections) {
    // Loopback must never go through a proxy configured for the machine.
    setenv("no_proxy", "127.0.0.1,localhost,::1", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost,::1", 1);

    server_->set_tcp_nodelay(true);
    // Every kept-alive connection holds a worker: room for a client's eight and more beside them.
    server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    server_->set_keep_alive_max_count(connections == Connections::OneRequestEach ? 1 : 1'000'000);
    server_->set_keep_alive_timeout(30);
    const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        Handle(request, response);
    };
    server_->Get(".*", handler);
    server_->Post(".*", handler);
    server_->Put(".*", handler);
    server_->Delete(".*", handler);

    int listener = -1;
    server_->set_socket_options([&listener](socket_t sock) {
        httplib::default_socket_options(sock);
        listener = sock;
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    server_->set_socket_options(httplib::default_socket_options);
    if (port_ <= 0)
        throw std::runtime_error("the test server cannot bind a port on 127.0.0.1");
    // The library's accept queue of 5 would drop some of a client's eight simultaneous connects.
    if (listener >= 0)
        ::listen(listener, SOMAXCONN);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // Bounded wait until the accept loop runs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_->is_running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            server_->stop();
            thread_.join();
            throw std::runtime_error("the test server did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FakeHttpServer::~FakeHttpServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    released_.notify_all();
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

std::string FakeHttpServer::Url(const std::string& target) const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_) + target;
}

void FakeHttpServer::Serve(const std::string& method, const std::string& path, FakeResponse response) {
    std::lock_guard lock(mutex_);
    routes_[{method, path}].fixed = std::make_unique<FakeResponse>(std::move(response));
}

void FakeHttpServer::Respond(const std::string& method, const std::string& path, FakeResponder responder) {
    std::lock_guard lock(mutex_);
    routes_[{method, path}].responder = std::move(responder);
}

void FakeHttpServer::Script(const std::string& method, const std::string& path,
                            std::vector<FakeResponse> responses) {
    std::lock_guard lock(mutex_);
    auto& queue = routes_[{method, path}].scripted;
    for (auto& response : responses)
        queue.push_back(std::move(response));
}

std::vector<RecordedRequest> FakeHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<RecordedRequest> FakeHttpServer::Requests(const std::string& method) const {
    std::vector<RecordedRequest> matching;
    for (auto& request : Requests())
        if (request.method == method)
            matching.push_back(request);
    return matching;
}

void FakeHttpServer::ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void FakeHttpServer::SetRecording(bool on) {
    std::lock_guard lock(mutex_);
    recording_ = on;
}

void FakeHttpServer::Handle(const httplib::Request& request, httplib::Response& response) {
    std::unique_lock lock(mutex_);
    if (recording_)
        requests_.push_back(Record(request));

    FakeResponse answer;
    auto route = routes_.find({request.method, request.path});
    if (route != routes_.end() && !route->second.scripted.empty()) {
        answer = std::move(route->second.scripted.front());
        route->second.scripted.pop_front();
    } else if (route != routes_.end() && route->second.responder) {
        const FakeResponder responder = route->second.responder;
        lock.unlock();
        answer = responder(Record(request));
        lock.lock();
    } else if (route != routes_.end() && route->second.fixed) {
        answer = *route->second.fixed;
    } else {
        answer = FakeResponse{404, "text/plain", "no such resource in the test server", {}, false};
    }

    if (answer.stall) {
        released_.wait_for(lock, MaxStall, [this] { return stopping_; });
        response.status = 503;
        return;
    }
    lock.unlock();

    response.status = answer.status;
    for (const auto& [name, value] : answer.headers)
        response.set_header(name, value);
    if (answer.contentType.empty())
        response.body = answer.body;
    else
        response.set_content(answer.body, answer.contentType.c_str());
}

std::string CurrencyConvertorDescription(const std::string& endpoint) {
    std::string wsdl = ReadFile(QUORVANE_TEST_DATA "/currency-convertor.wsdl");
    const std::string published = "http://www.webservicex.net/CurrencyConvertor.asmx";
    for (auto at = wsdl.find(published); at != std::string::npos;
         at = wsdl.find(published, at + endpoint.size()))
        wsdl.replace(at, published.size(), endpoint);
    return wsdl;
}

std::string RateResponse(const std::string& text) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\""
           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
           "<soap:Body><ConversionRateResponse xmlns=\"http://www.webserviceX.NET/\">"
           "<ConversionRateResult>" +
           text + "</ConversionRateResult></ConversionRateResponse></soap:Body></soap:Envelope>";
}

std::string FaultResponse(const std::string& faultString) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><soap:Fault>"
           "<faultcode>soap:Client</faultcode><faultstring>" +
           faultString +
           "</faultstring><detail><reason>bad "
           "code</reason></detail></soap:Fault></soap:Body></soap:Envelope>";
}

FakeRateService::FakeRateService(const std::string& rate) {
    FakeResponse description;
    description.body = CurrencyConvertorDescription(EndpointUrl());
    server_.Serve("GET", "/CurrencyConvertor.asmx", std::move(description));
    SetRate(rate);
}

void FakeRateService::SetRate(const std::string& rate) {
    FakeResponse answer;
    answer.body = RateResponse(rate);
    server_.Serve("POST", "/CurrencyConvertor.asmx", std::move(answer));
}

} // namespace quorvane::fakes
