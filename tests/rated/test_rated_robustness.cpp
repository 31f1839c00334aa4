// The service under garbage, cut-off and slow requests, long kept-alive connections and concurrency.
#include <random>

#include "fakes/RatedService.h"
#include "fakes/RawConnection.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

bool StillAnswers(const RatedService& service) {
    auto res = service.Post(ConversionRequest("USD", "JPY"));
    return res && res->status == 200 && res->body.find("ConversionRateResult") != std::string::npos;
}

std::string Garbage(std::size_t size, unsigned start) {
    std::mt19937 random(start);
    std::string text(size, '\0');
    for (char& ch : text)
        ch = static_cast<char>(random());
    return text;
}

rated::ServerOptions QuickTimeouts() {
    rated::ServerOptions options;
    options.readTimeout = std::chrono::seconds(1);
    options.keepAliveTimeout = std::chrono::seconds(1);
    return options;
}

} // namespace

TEST(RatedRobustness, SeveralMegabytesOfGarbageAreRefusedAndServiceGoesOn) {
    RatedService service({}, QuickTimeouts());
    ASSERT_TRUE(service.Ready());
    const std::string garbage = Garbage(5 * 1024 * 1024, 1);

    auto declared = service.Post(garbage);
    ASSERT_TRUE(declared) << httplib::to_string(declared.error());
    EXPECT_EQ(declared->status, 413);

    // Chunked, so that no length announces it: refused once it grows past the limit.
    RawConnection chunked(service.Port());
    ASSERT_TRUE(chunked.Open());
    std::string request =
        "POST /CurrencyConvertor.asmx HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < garbage.size() && request.size() < 6 * 1024 * 1024; at += 65536) {
        char size[16];
        std::snprintf(size, sizeof size, "%x\r\n", 65536);
        request += size + garbage.substr(at, 65536) + "\r\n";
    }
    chunked.Send(request); // the server may close before taking it all
    const std::string answer = chunked.ReadResponse();
    EXPECT_TRUE(answer.empty() || answer.rfind("HTTP/1.1 4", 0) == 0) << answer.substr(0, 40);
    EXPECT_TRUE(chunked.ClosedByPeer(10000));

    // A few hundred kilobytes of garbage within the limit of a request line and headers.
    RawConnection raw(service.Port());
    ASSERT_TRUE(raw.Open());
    raw.Send(Garbage(300 * 1024, 2));
    EXPECT_TRUE(raw.ClosedByPeer(10000));

    // Garbage that fits the size limit is a body like any other: a fault, not a crash.
    auto small = service.Post(Garbage(60 * 1024, 3));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->status, 500);
    EXPECT_TRUE(StillAnswers(service));
}

TEST(RatedRobustness, CutOffAndSlowRequestsTimeOutWithoutHoldingTheService) {
    RatedService service({}, QuickTimeouts());
    ASSERT_TRUE(service.Ready());
    const std::string whole = HttpPost(ConversionRequest("USD", "JPY"));

    // The body stops half-way and the client closes.
    {
        RawConnection cut(service.Port());
        ASSERT_TRUE(cut.Send(whole.substr(0, whole.size() - 100)));
    }
    // The body stops half-way and the client waits: the server gives up after its read time-out.
    std::vector<std::unique_ptr<RawConnection>> stalled;
    for (int i = 0; i < 4; ++i) {
        stalled.push_back(std::make_unique<RawConnection>(service.Port()));
        ASSERT_TRUE(stalled.back()->Send(whole.substr(0, whole.size() / 2)));
    }
    // Meanwhile others are served.
    EXPECT_TRUE(StillAnswers(service));
    for (auto& connection : stalled) {
        const std::string answer = connection->ReadResponse(5000);
        EXPECT_TRUE(answer.empty() || answer.rfind("HTTP/1.1 400", 0) == 0) << answer;
        EXPECT_TRUE(connection->ClosedByPeer(5000));
    }
    // Headers that never end are cut off the same way.
    RawConnection slow(service.Port());
    ASSERT_TRUE(slow.Send("POST /CurrencyConvertor.asmx HTTP/1.1\r\nHost: x\r\n"));
    EXPECT_TRUE(slow.ClosedByPeer(5000));
    EXPECT_TRUE(StillAnswers(service));
}

TEST(RatedRobustness, TenThousandRequestsOnOneKeptAliveConnection) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    RawConnection connection(service.Port());
    ASSERT_TRUE(connection.Open());
    const std::string request = HttpPost(ConversionRequest("GBP", "USD"));
    constexpr int count = 10000;
    std::string first;
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        if (!connection.Send(request))
            break;
        const std::string response = connection.ReadResponse();
        if (response.rfind("HTTP/1.1 200", 0) != 0)
            break;
        if (first.empty())
            first = response.substr(response.find("\r\n\r\n"));
        if (response.substr(response.find("\r\n\r\n")) != first)
            break;
        ++answered;
    }
    EXPECT_EQ(answered, count);
    EXPECT_EQ(service.log.Count("GBP/USD "), static_cast<std::size_t>(count));
}

TEST(RatedRobustness, ConcurrentClientsAllGetTheirOwnPair) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"USD", "JPY"}, {"EUR", "GBP"}, {"CHF", "SEK"}, {"TRY", "USD"}, {"AUD", "NZD"}, {"JPY", "KRW"}};
    std::vector<std::string> expected;
    for (const auto& [from, to] : pairs)
        expected.push_back(service.Post(ConversionRequest(from, to))->body);
    std::atomic<int> wrong{0}, done{0};
    std::vector<std::thread> clients;
    for (std::size_t t = 0; t < 12; ++t) {
        clients.emplace_back([&, t] {
            httplib::Client client = service.Client();
            client.set_keep_alive(t % 2 == 0);
            for (int i = 0; i < 200; ++i) {
                const std::size_t k = (t + static_cast<std::size_t>(i)) % pairs.size();
                auto res = client.Post("/CurrencyConvertor.asmx",
                                       ConversionRequest(pairs[k].first, pairs[k].second), "text/xml");
                if (!res || res->status != 200 || res->body != expected[k])
                    ++wrong;
                ++done;
            }
        });
    }
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(done.load(), 12 * 200);
    EXPECT_EQ(wrong.load(), 0);
}

TEST(RatedRobustness, PipelinedRequestsAreAnsweredInOrderAndAClientThatDoesNotReadHoldsNobody) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    const std::string usdJpy = service.Post(ConversionRequest("USD", "JPY"))->body;
    const std::string eurGbp = service.Post(ConversionRequest("EUR", "GBP"))->body;
    const auto body = [](const std::string& response) { return response.substr(response.find("\r\n\r\n") + 4); };

    RawConnection pipelined(service.Port());
    ASSERT_TRUE(pipelined.Send(HttpPost(ConversionRequest("USD", "JPY")) + HttpPost(ConversionRequest("EUR", "GBP"))));
    EXPECT_EQ(body(pipelined.ReadResponse()), usdJpy);
    EXPECT_EQ(body(pipelined.ReadResponse()), eurGbp);

    // Requests sent until nothing more goes in, no answer read: the service stops reading from this client
    // only, and once the client reads, every whole request it sent is answered.
    RawConnection greedy(service.Port(), 4096);
    const std::string request = HttpPost(ConversionRequest("USD", "JPY"));
    std::string requests;
    for (int i = 0; i < 2000; ++i)
        requests += request;
    std::size_t sent = 0;
    for (std::size_t got = 1; got > 0 && sent < requests.size();) {
        got = greedy.SendSome(std::string_view(requests).substr(sent), 300);
        sent += got;
    }
    EXPECT_TRUE(StillAnswers(service));
    const std::size_t whole = sent / request.size();
    std::size_t answered = 0;
    while (answered < whole && body(greedy.ReadResponse(5000)) == usdJpy)
        ++answered;
    EXPECT_EQ(answered, whole);
    EXPECT_GT(whole, 10u);
}

TEST(RatedRobustness, AClientThatWaitsToGoOnIsToldOnceAndAnswered) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    const std::string body = ConversionRequest("USD", "JPY");
    const std::string request = HttpPost(body, "Expect: 100-continue\r\n");
    RawConnection connection(service.Port());
    ASSERT_TRUE(connection.Send(request.substr(0, request.size() - body.size())));
    EXPECT_EQ(connection.ReadResponse(5000), "HTTP/1.1 100 Continue\r\n\r\n");
    ASSERT_TRUE(connection.Send(body));
    const std::string answer = connection.ReadResponse(5000);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 40);
}

TEST(RatedRobustness, IdleConnectionsEndAtTheKeepAliveTimeOutAndAtStop) {
    {
        RatedService quick({}, QuickTimeouts());
        ASSERT_TRUE(quick.Ready());
        RawConnection idle(quick.Port());
        ASSERT_TRUE(idle.Open());
        EXPECT_TRUE(idle.ClosedByPeer(5000));
    }
    // The keep-alive time-out is 5 s here: a stop does not wait for it.
    RatedService service;
    ASSERT_TRUE(service.Ready());
    RawConnection kept(service.Port());
    ASSERT_TRUE(kept.Send(HttpPost(ConversionRequest("USD", "JPY"))));
    ASSERT_EQ(kept.ReadResponse().rfind("HTTP/1.1 200", 0), 0u);
    service.Server().Stop();
    EXPECT_TRUE(kept.ClosedByPeer(2000));
}
