#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "fakes/FakeHttpServer.h"
#include "fakes/RawTcpServer.h"
#include "service/CurrencyConvertor.h"
#include "service/HttpTransport.h"
#include "service/SoapMessage.h"
#include "service/WebService.h"

using namespace quorvane;
using namespace quorvane::fakes;
using namespace std::chrono_literals;

namespace {

const std::string Path = "/CurrencyConvertor.asmx";
const std::string PublishedAction = "http://www.webserviceX.NET/ConversionRate";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

FakeResponse Xml(std::string body, int status = 200) {
    FakeResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

class RateClient : public ::testing::Test {
protected:
    RateClient() {
        server.Serve("GET", Path, Xml(CurrencyConvertorDescription(server.Url(Path))));
        server.Serve("POST", Path, Xml(RateResponse("151.25")));
    }

    std::shared_ptr<CurrencyConvertorSoap> Proxy(const std::string& descriptionTarget = Path + "?wsdl") {
        return CreateCurrencyConvertorProxy(true, server.Url(descriptionTarget), transport);
    }

    FakeHttpServer server;
    std::shared_ptr<HttpTransport> transport = std::make_shared<HttpTransport>(HttpTimeouts{2s, 5s});
};

std::string Expect(const ServiceResult<double>& result) {
    return result.ok() ? "a rate" : Describe(result.error());
}

} // namespace

TEST_F(RateClient, FirstCallGetsTheDescriptionLaterCallsOnlyPostOnOneConnection) {
    auto proxy = Proxy();
    EXPECT_TRUE(server.Requests().empty()) << "making the proxy must send nothing";

    for (int call = 0; call < 3; ++call) {
        const auto rate = proxy->ConversionRate(USD, JPY);
        ASSERT_TRUE(rate.ok()) << Expect(rate);
        EXPECT_DOUBLE_EQ(rate.value(), 151.25);
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, Path + "?wsdl");
    EXPECT_EQ(requests[0].Header("Accept"), "*/*");
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(requests[i].method, "POST");
        EXPECT_EQ(requests[i].target, Path);
        EXPECT_EQ(requests[i].remotePort, requests[1].remotePort) << "the POST connection is kept alive";
    }
}

TEST_F(RateClient, PostsTheRequestWithQuotedActionAndPlainXmlContentType) {
    auto proxy = Proxy();
    ASSERT_TRUE(proxy->ConversionRate(USD, JPY).ok());
    ASSERT_TRUE(proxy->ConversionRate(TRY_, EUR).ok());
    const auto posts = server.Requests("POST");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0].Header("SOAPAction"), "\"" + PublishedAction + "\"");
    EXPECT_EQ(posts[0].HeaderCount("SOAPAction"), 1u);
    EXPECT_EQ(posts[0].Header("Content-Type"), "text/xml");
    EXPECT_EQ(posts[0].HeaderCount("Content-Type"), 1u);
    EXPECT_EQ(posts[0].body, WriteConversionRateRequest("http://www.webserviceX.NET/", "USD", "JPY"));
    EXPECT_NE(posts[1].body.find("<FromCurrency>TRY</FromCurrency><ToCurrency>EUR</ToCurrency>"),
              std::string::npos);
    EXPECT_EQ(posts[1].body.find("TRY_"), std::string::npos);
}

TEST_F(RateClient, SendsTheDefaultActionWhenTheDescriptionNamesNone) {
    const std::string withoutAction =
        Replaced(CurrencyConvertorDescription(server.Url(Path)),
                 "<soap:operation soapAction=\"" + PublishedAction + "\" style=\"document\" />",
                 "<soap:operation style=\"document\" />");
    server.Serve("GET", "/no-action.wsdl", Xml(withoutAction));
    const std::string otherAction =
        Replaced(CurrencyConvertorDescription(server.Url(Path)), "soapAction=\"" + PublishedAction + "\"",
                 "soapAction=\"urn:rates#Rate\"");
    server.Serve("GET", "/other-action.wsdl", Xml(otherAction));

    ASSERT_TRUE(Proxy("/no-action.wsdl")->ConversionRate(USD, JPY).ok());
    ASSERT_TRUE(Proxy("/other-action.wsdl")->ConversionRate(USD, JPY).ok());
    const auto posts = server.Requests("POST");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0].Header("SOAPAction"), "\"" + DefaultSoapAction() + "\"");
    EXPECT_EQ(DefaultSoapAction(), PublishedAction);
    EXPECT_EQ(posts[1].Header("SOAPAction"), "\"urn:rates#Rate\"");
}

TEST_F(RateClient, AFailedDescriptionIsFetchedAgainOnTheNextCallAndNothingIsPosted) {
    server.Script("GET", Path,
                  {Xml("", 503), Xml("", 200), Xml("<definitions>cut", 200), Xml("not xml at all")});
    auto proxy = Proxy();
    const auto first = proxy->ConversionRate(USD, JPY);
    ASSERT_FALSE(first.ok());
    EXPECT_EQ(first.error().kind, ServiceErrorKind::HttpStatus);
    EXPECT_EQ(first.error().httpStatus, 503);
    for (int empty_broken_garbage = 0; empty_broken_garbage < 3; ++empty_broken_garbage) {
        const auto failed = proxy->ConversionRate(USD, JPY);
        ASSERT_FALSE(failed.ok());
        EXPECT_EQ(failed.error().kind, ServiceErrorKind::Description) << Describe(failed.error());
    }
    EXPECT_EQ(server.Requests("GET").size(), 4u);
    EXPECT_TRUE(server.Requests("POST").empty());

    ASSERT_TRUE(proxy->ConversionRate(USD, JPY).ok());
    ASSERT_TRUE(proxy->ConversionRate(USD, JPY).ok());
    EXPECT_EQ(server.Requests("GET").size(), 5u);
    EXPECT_EQ(server.Requests("POST").size(), 2u);
}

TEST_F(RateClient, ReadsAFaultFromStatus500AndKeepsTheConnection) {
    server.Script("POST", Path, {Xml(FaultResponse("Unknown currency code"), 500)});
    auto proxy = Proxy();
    const auto fault = proxy->ConversionRate(USD, JPY);
    ASSERT_FALSE(fault.ok());
    EXPECT_EQ(fault.error().kind, ServiceErrorKind::Fault);
    EXPECT_EQ(fault.error().message, "Unknown currency code");
    EXPECT_EQ(fault.error().faultCode, "soap:Client");
    ASSERT_TRUE(proxy->ConversionRate(USD, JPY).ok());
    const auto posts = server.Requests("POST");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0].remotePort, posts[1].remotePort);
}

TEST_F(RateClient, FailsOnAnErrorStatusWithoutReadingTheBodyAndReconnects) {
    // A 404 (or 401/407) carrying a perfectly good envelope is still a failure.
    server.Script(
        "POST", Path,
        {Xml(RateResponse("1.0"), 404), Xml(RateResponse("1.0"), 401), Xml(RateResponse("1.0"), 407)});
    auto proxy = Proxy();
    for (int status : {404, 401, 407}) {
        const auto rate = proxy->ConversionRate(USD, JPY);
        ASSERT_FALSE(rate.ok());
        EXPECT_EQ(rate.error().kind, ServiceErrorKind::HttpStatus);
        EXPECT_EQ(rate.error().httpStatus, status);
        EXPECT_NE(Describe(rate.error()).find(std::to_string(status)), std::string::npos);
    }
    ASSERT_TRUE(proxy->ConversionRate(USD, JPY).ok());
    const auto posts = server.Requests("POST");
    ASSERT_EQ(posts.size(), 4u);
    for (std::size_t i = 1; i < posts.size(); ++i)
        EXPECT_NE(posts[i].remotePort, posts[i - 1].remotePort) << "a failed exchange closes the connection";
}

TEST_F(RateClient, RefusesPlainAndHtmlContentTypesButNotWithParameters) {
    auto typed = [](const std::string& type, const std::string& body) {
        FakeResponse response = Xml(body);
        response.contentType = type;
        return response;
    };
    const std::string envelope = RateResponse("2.5");
    server.Script("POST", Path,
                  {typed("text/html", envelope), typed("TEXT/PLAIN", envelope),
                   typed("text/html; charset=utf-8", envelope),
                   typed("text/html; charset=utf-8", "<html><body>Maintenance</body></html>"),
                   typed("text/plain;charset=utf-8", envelope), typed("application/soap+xml", envelope)});
    auto proxy = Proxy();
    EXPECT_EQ(proxy->ConversionRate(USD, JPY).error().kind, ServiceErrorKind::ContentType);
    EXPECT_EQ(proxy->ConversionRate(USD, JPY).error().kind, ServiceErrorKind::ContentType);
    const auto withCharset = proxy->ConversionRate(USD, JPY);
    ASSERT_TRUE(withCharset.ok()) << Expect(withCharset);
    EXPECT_DOUBLE_EQ(withCharset.value(), 2.5);
    EXPECT_EQ(proxy->ConversionRate(USD, JPY).error().kind, ServiceErrorKind::NotEnvelope);
    EXPECT_TRUE(proxy->ConversionRate(USD, JPY).ok());
    EXPECT_TRUE(proxy->ConversionRate(USD, JPY).ok());
}

TEST_F(RateClient, MalformedAndTruncatedResponsesFailButKeepTheConnection) {
    const std::string good = RateResponse("151.25");
    server.Script("POST", Path, {Xml(good.substr(0, good.size() / 2)), Xml("<<<>>>"), Xml("")});
    auto proxy = Proxy();
    for (int i = 0; i < 3; ++i) {
        const auto rate = proxy->ConversionRate(USD, JPY);
        ASSERT_FALSE(rate.ok());
        EXPECT_EQ(rate.error().kind, ServiceErrorKind::Parse) << Describe(rate.error());
    }
    ASSERT_TRUE(proxy->ConversionRate(USD, JPY).ok());
    const auto posts = server.Requests("POST");
    ASSERT_EQ(posts.size(), 4u);
    EXPECT_EQ(posts[0].remotePort, posts[3].remotePort);
}

TEST_F(RateClient, ASilentServerTimesOutAndTheNextCallWorks) {
    const HttpTimeouts normal = transport->Timeouts();
    const HttpTimeouts quick{2s, 300ms};
    auto proxy = Proxy();
    ASSERT_TRUE(proxy->ConversionRate(USD, JPY).ok()); // description and connection in place
    FakeResponse silent;
    silent.stall = true;
    server.Script("POST", Path, {silent});
    transport->SetTimeouts(quick);
    const auto rate = proxy->ConversionRate(USD, JPY);
    ASSERT_FALSE(rate.ok());
    EXPECT_EQ(rate.error().kind, ServiceErrorKind::Timeout) << Describe(rate.error());
    transport->SetTimeouts(normal);
    const auto next = proxy->ConversionRate(USD, JPY);
    ASSERT_TRUE(next.ok()) << Expect(next);
    const auto posts = server.Requests("POST");
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_NE(posts[2].remotePort, posts[1].remotePort);

    // A silent description server times out the same way and is asked again next time.
    server.Script("GET", Path, {silent});
    auto fresh = Proxy();
    transport->SetTimeouts(quick);
    EXPECT_EQ(fresh->ConversionRate(USD, JPY).error().kind, ServiceErrorKind::Timeout);
    transport->SetTimeouts(normal);
    EXPECT_TRUE(fresh->ConversionRate(USD, JPY).ok());
    EXPECT_EQ(server.Requests("GET").size(), 3u);
}

TEST_F(RateClient, SurvivesCutOffAndGarbledAnswers) {
    RawTcpServer raw;
    server.Serve("GET", "/raw.wsdl", Xml(CurrencyConvertorDescription(raw.Url(Path))));
    const std::string good = RateResponse("1.25");
    raw.AddReply("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 500\r\n\r\n" +
                 good.substr(0, 80));
    raw.AddReply("hello, this is no HTTP\r\n\r\n");
    raw.AddReply(""); // closes without a word
    raw.AddReply("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                 std::to_string(good.size()) + "\r\n\r\n" + good);
    auto proxy = Proxy("/raw.wsdl");
    for (int broken = 0; broken < 3; ++broken) {
        const auto rate = proxy->ConversionRate(USD, JPY);
        ASSERT_FALSE(rate.ok()) << broken;
        EXPECT_EQ(rate.error().kind, ServiceErrorKind::Network) << Describe(rate.error());
    }
    const auto rate = proxy->ConversionRate(USD, JPY);
    ASSERT_TRUE(rate.ok()) << Expect(rate);
    EXPECT_DOUBLE_EQ(rate.value(), 1.25);
    EXPECT_EQ(raw.Connections(), 4);
}

TEST_F(RateClient, FollowsRedirectionsKeepingThePost) {
    FakeResponse moved = Xml("", 301);
    moved.headers["Location"] = server.Url(Path + "?wsdl");
    server.Serve("GET", "/moved.wsdl", moved);
    FakeResponse temporary = Xml("", 307);
    temporary.headers["Location"] = server.Url(Path);
    server.Serve("POST", "/old", temporary);
    server.Serve("GET", Path, Xml(CurrencyConvertorDescription(server.Url("/old"))));

    const auto rate = Proxy("/moved.wsdl")->ConversionRate(USD, JPY);
    ASSERT_TRUE(rate.ok()) << Expect(rate);
    const auto posts = server.Requests("POST");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[1].path, Path);
    EXPECT_EQ(posts[1].body, posts[0].body);
    EXPECT_EQ(posts[1].Header("SOAPAction"), "\"" + PublishedAction + "\"");
}

TEST_F(RateClient, GoesThroughTheProxyOfTheEnvironment) {
    // The test server plays the proxy for a host that exists nowhere else.
    struct ProxyVariable {
        explicit ProxyVariable(const std::string& url) { setenv("http_proxy", url.c_str(), 1); }
        ~ProxyVariable() { unsetenv("http_proxy"); }
    } proxyVariable(server.Url(""));
    const std::string remote = "http://rates.invalid" + Path;
    server.Serve("GET", remote, Xml(CurrencyConvertorDescription(remote)));
    server.Serve("POST", remote, Xml(RateResponse("3.5")));

    const auto rate =
        CreateCurrencyConvertorProxy(true, remote + "?wsdl", transport)->ConversionRate(USD, JPY);
    ASSERT_TRUE(rate.ok()) << Expect(rate);
    EXPECT_DOUBLE_EQ(rate.value(), 3.5);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, remote + "?wsdl");
    EXPECT_EQ(requests[1].target, remote);
}

TEST_F(RateClient, AnOrdinalThatNamesNoCurrencySendsNothing) {
    auto proxy = Proxy();
    const auto unknown = static_cast<Currency>(255);
    EXPECT_EQ(proxy->ConversionRate(unknown, JPY).error().kind, ServiceErrorKind::UnknownCurrency);
    EXPECT_EQ(proxy->ConversionRate(USD, unknown).error().kind, ServiceErrorKind::UnknownCurrency);
    EXPECT_EQ(proxy->ConversionRate(static_cast<Currency>(151), USD).error().kind,
              ServiceErrorKind::UnknownCurrency);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(RateClient, FindsTheServiceInAnImportedDescription) {
    server.Serve(
        "GET", "/wsdl/main.wsdl",
        Xml("<?xml version=\"1.0\"?><wsdl:definitions xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\""
            " targetNamespace=\"urn:quorvane:main\"><wsdl:import namespace=\"http://www.webserviceX.NET/\""
            " location=\"parts/convertor.wsdl\"/></wsdl:definitions>"));
    server.Serve("GET", "/wsdl/parts/convertor.wsdl", Xml(CurrencyConvertorDescription(server.Url(Path))));
    auto proxy = Proxy("/wsdl/main.wsdl");
    const auto rate = proxy->ConversionRate(USD, JPY);
    ASSERT_TRUE(rate.ok()) << Expect(rate);
    const auto gets = server.Requests("GET");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[1].path, "/wsdl/parts/convertor.wsdl");
    EXPECT_EQ(server.Requests("POST").size(), 1u);
}

TEST_F(RateClient, ReadsADescriptionOfSeveralMegabytes) {
    std::string large = CurrencyConvertorDescription(server.Url(Path));
    const std::string padding = "<wsdl:documentation>" + std::string(6u << 20, 'x') + "</wsdl:documentation>";
    large = Replaced(large, "<wsdl:types>", padding + "<wsdl:types>");
    server.Serve("GET", "/large.wsdl", Xml(large));
    const auto rate = Proxy("/large.wsdl")->ConversionRate(GBP, USD);
    ASSERT_TRUE(rate.ok()) << Expect(rate);
    EXPECT_DOUBLE_EQ(rate.value(), 151.25);
}

TEST_F(RateClient, RefusesEndpointsThatAreNeitherHttpNorHttps) {
    const std::string ftp = Replaced(CurrencyConvertorDescription(server.Url(Path)),
                                     "<soap:address location=\"" + server.Url(Path),
                                     "<soap:address location=\"ftp://127.0.0.1/x");
    server.Serve("GET", "/ftp.wsdl", Xml(ftp));
    const auto rate = Proxy("/ftp.wsdl")->ConversionRate(USD, JPY);
    ASSERT_FALSE(rate.ok());
    EXPECT_EQ(rate.error().kind, ServiceErrorKind::Description);
    EXPECT_TRUE(server.Requests("POST").empty());
}

TEST_F(RateClient, ReportsAnUnreachableEndpoint) {
    int closedPort = 0;
    {
        FakeHttpServer gone;
        closedPort = gone.Port();
    }
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(closedPort) + Path;
    server.Serve("GET", "/gone.wsdl", Xml(CurrencyConvertorDescription(unreachable)));
    const auto rate = Proxy("/gone.wsdl")->ConversionRate(USD, JPY);
    ASSERT_FALSE(rate.ok());
    EXPECT_EQ(rate.error().kind, ServiceErrorKind::Network) << Describe(rate.error());
}

TEST_F(RateClient, ReadsTheDescriptionFromALocalFile) {
    const auto file =
        std::filesystem::temp_directory_path() / ("quorvane-desc-" + std::to_string(server.Port()) + ".wsdl");
    {
        std::ofstream out(file, std::ios::binary);
        out << CurrencyConvertorDescription(server.Url(Path));
    }
    for (const std::string& address : {"  " + file.string() + " ", "file://" + file.string()}) {
        auto proxy = CreateCurrencyConvertorProxy(true, address, transport);
        const auto rate = proxy->ConversionRate(EUR, USD);
        EXPECT_TRUE(rate.ok()) << address << ": " << Expect(rate);
    }
    std::filesystem::remove(file);
    EXPECT_TRUE(server.Requests("GET").empty());
    EXPECT_EQ(server.Requests("POST").size(), 2u);

    auto missing = CreateCurrencyConvertorProxy(true, file.string(), transport);
    EXPECT_EQ(missing->ConversionRate(EUR, USD).error().kind, ServiceErrorKind::Description);
}

TEST_F(RateClient, WithoutADescriptionPostsToTheEndpointWithTheDefaults) {
    auto proxy = CreateCurrencyConvertorProxy(false, server.Url(Path), transport);
    ASSERT_TRUE(proxy->ConversionRate(USD, JPY).ok());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].Header("SOAPAction"), "\"" + DefaultSoapAction() + "\"");
    EXPECT_EQ(requests[0].body, WriteConversionRateRequest(ServiceNamespace, "USD", "JPY"));
}

TEST(WebService, TurnsEveryFailureIntoZero) {
    RateService.reset();
    EXPECT_EQ(GetConversionRate(USD, JPY), 0.0);
    EXPECT_EQ(RequestConversionRate(USD, JPY).error().kind, ServiceErrorKind::NotInitialised);

    FakeRateService service("0.0067");
    ASSERT_TRUE(InitRateService(service.DescriptionUrl()));
    EXPECT_EQ(service.Server().Requests().size(), 0u) << "setting up sends nothing";
    EXPECT_DOUBLE_EQ(GetConversionRate(JPY, USD), 0.0067);
    EXPECT_EQ(GetConversionRate(static_cast<Currency>(255), USD), 0.0);

    service.Server().Script(
        "POST", Path, {Xml(FaultResponse("no"), 500), Xml(RateResponse("abc")), Xml(RateResponse("1"), 404)});
    EXPECT_EQ(GetConversionRate(JPY, USD), 0.0);
    EXPECT_EQ(GetConversionRate(JPY, USD), 0.0);
    EXPECT_EQ(GetConversionRate(JPY, USD), 0.0);
    EXPECT_DOUBLE_EQ(GetConversionRate(JPY, USD), 0.0067);
    EXPECT_EQ(service.Server().Requests("POST").size(), 5u) << "the ordinal 255 was never posted";
    RateService.reset();
}

TEST(WebService, AnEmptyAddressGoesBackToTheDefaultAddress) {
    FakeRateService service;
    ASSERT_TRUE(InitRateService(service.DescriptionUrl()));
    ASSERT_TRUE(InitRateService(""));
    // Whether a local rate service answers at the default address depends on the machine; the
    // overridden address must not be asked either way.
    RequestConversionRate(USD, JPY);
    EXPECT_TRUE(service.Server().Requests().empty());
    RateService.reset();
}

TEST(WebService, SeveralPairsComeBackInTheirOrderWithEachFailureKeptToItsPair) {
    RateService.reset();
    EXPECT_EQ(GetConversionRates({{USD, JPY}, {EUR, JPY}}), (std::vector<double>{0, 0}));

    FakeRateService service;
    // Each pair's answer names its currency, so that a mix-up shows.
    service.Server().Respond("POST", Path, [](const RecordedRequest& request) {
        const auto from = [&](const char* code) {
            return request.body.find(std::string("<FromCurrency>") + code + "<") != std::string::npos;
        };
        return Xml(from("EUR")   ? RateResponse("INF")
                   : from("GBP") ? FaultResponse("no")
                                 : RateResponse(from("USD") ? "151.25" : "0.0067"));
    });
    ASSERT_TRUE(InitRateService(service.DescriptionUrl()));
    const std::vector<CurrencyPair> pairs = {
        {JPY, USD}, {static_cast<Currency>(255), USD}, {EUR, JPY}, {GBP, JPY}, {USD, JPY}};

    const auto results = RequestConversionRates(pairs);
    ASSERT_EQ(results.size(), pairs.size());
    ASSERT_TRUE(results[0].ok()) << Expect(results[0]);
    EXPECT_DOUBLE_EQ(results[0].value(), 0.0067);
    EXPECT_EQ(results[1].error().kind, ServiceErrorKind::UnknownCurrency);
    ASSERT_FALSE(results[2].ok()) << "a rate that is not finite is a failed fetch";
    EXPECT_EQ(results[2].error().kind, ServiceErrorKind::NotANumber);
    EXPECT_EQ(results[3].error().kind, ServiceErrorKind::Fault);
    ASSERT_TRUE(results[4].ok()) << Expect(results[4]);
    EXPECT_DOUBLE_EQ(results[4].value(), 151.25);
    EXPECT_EQ(service.Server().Requests("POST").size(), 4u) << "the ordinal 255 was never posted";

    // What the monitor sees: 0 for every failure, a rate that is not finite included.
    EXPECT_EQ(GetConversionRates(pairs), (std::vector<double>{0.0067, 0, 0, 0, 151.25}));
    RateService.reset();
}
