#include <string>

#include <gtest/gtest.h>

#include "fakes/FakeHttpServer.h"
#include "fakes/TestCertificate.h"
#include "service/CurrencyConvertor.h"
#include "service/HttpTransport.h"

using namespace quorvane;
using namespace quorvane::fakes;
using namespace std::chrono_literals;

namespace {

const std::string Path = "/CurrencyConvertor.asmx";

// A rate service over https with the given certificate, and a proxy that trusts `trusted`.
struct TlsSetup {
    explicit TlsSetup(const TestCertificate& served) : server(served) {
        FakeResponse description;
        description.body = CurrencyConvertorDescription(server.Url(Path));
        server.Serve("GET", Path, description);
        FakeResponse rate;
        rate.body = RateResponse("0.92");
        server.Serve("POST", Path, rate);
    }

    ServiceResult<double> Call(TestCertificate* trusted) {
        auto transport = std::make_shared<HttpTransport>(HttpTimeouts{2s, 5s});
        if (trusted)
            transport->SetCertificateAuthorities(trusted->PemFile());
        return CreateCurrencyConvertorProxy(true, server.Url(Path + "?wsdl"), transport)
            ->ConversionRate(EUR, USD);
    }

    FakeHttpServer server;
};

} // namespace

TEST(RateClientTls, TalksToAServerWhoseCertificateIsTrustedAndMatches) {
    TestCertificate certificate("IP:127.0.0.1");
    TlsSetup service(certificate);
    const auto rate = service.Call(&certificate);
    ASSERT_TRUE(rate.ok()) << Describe(rate.error());
    EXPECT_DOUBLE_EQ(rate.value(), 0.92);
    EXPECT_EQ(service.server.Requests("GET").size(), 1u);
    EXPECT_EQ(service.server.Requests("POST").size(), 1u);
}

TEST(RateClientTls, RefusesUnknownAuthorityWrongHostAndExpiredCertificates) {
    TestCertificate unknown("IP:127.0.0.1");
    TestCertificate otherHost("DNS:rates.example");
    TestCertificate expired("IP:127.0.0.1", -48h, -24h);
    struct Case {
        const char* what;
        TestCertificate& served;
        TestCertificate* trusted;
    };
    for (const Case& c : {Case{"unknown authority", unknown, nullptr},
                          Case{"wrong host", otherHost, &otherHost}, Case{"expired", expired, &expired}}) {
        TlsSetup service(c.served);
        for (int attempt = 0; attempt < 2; ++attempt) { // no second, laxer attempt either
            const auto rate = service.Call(c.trusted);
            ASSERT_FALSE(rate.ok()) << c.what;
            EXPECT_EQ(rate.error().kind, ServiceErrorKind::Network) << c.what;
        }
        EXPECT_TRUE(service.server.Requests().empty())
            << c.what << ": no request may pass a failed verification";
    }
}

TEST(RateClientTls, VerifiesTheEndpointToo) {
    TestCertificate trusted("IP:127.0.0.1");
    TestCertificate untrusted("IP:127.0.0.1");
    FakeHttpServer endpoint(untrusted);
    FakeResponse rate;
    rate.body = RateResponse("1.5");
    endpoint.Serve("POST", Path, rate);

    auto transport = std::make_shared<HttpTransport>(HttpTimeouts{2s, 5s});
    transport->SetCertificateAuthorities(trusted.PemFile());
    const auto result =
        CreateCurrencyConvertorProxy(false, endpoint.Url(Path), transport)->ConversionRate(EUR, USD);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, ServiceErrorKind::Network);
    EXPECT_TRUE(endpoint.Requests().empty());
}
