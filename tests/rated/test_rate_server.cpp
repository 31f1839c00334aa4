// The service over plain HTTP: its description, its answers, its faults.
#include <charconv>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "fakes/RatedService.h"
#include "service/SoapMessage.h"
#include "util/Currency.h"
#include "util/PrintableText.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

// The sample's euro rates, read here with a regular expression rather than the service's parser.
std::map<std::string, double> SampleRates() {
    std::ifstream in(SampleRatesFile());
    std::stringstream text;
    text << in.rdbuf();
    std::map<std::string, double> rates{{"EUR", 1.0}};
    const std::regex cube(R"(currency='([A-Z]{3})' rate='([0-9.]+)')");
    const std::string all = text.str();
    for (std::sregex_iterator it(all.begin(), all.end(), cube), end; it != end; ++it)
        rates[(*it)[1]] = std::stod((*it)[2]);
    return rates;
}

double ReadDouble(const std::string& text) {
    double value = -1;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() ? value : -1;
}

std::string ResultText(const httplib::Result& res) {
    return XPathDoc(res->body).One(
        "/soap:Envelope/soap:Body/tns:ConversionRateResponse/tns:ConversionRateResult");
}

} // namespace

TEST(RatedDescription, DescribesTheOperationCodesAndBinding) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    auto res = service.Client().Get("/CurrencyConvertor.asmx?wsdl");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type").rfind("text/xml", 0), 0u);
    XPathDoc wsdl(res->body);
    ASSERT_TRUE(wsdl.Valid());

    EXPECT_EQ(wsdl.One("/wsdl:definitions/@targetNamespace"), "http://www.webserviceX.NET/");
    EXPECT_EQ(wsdl.One("//wsdl:service/@name"), "CurrencyConvertor");
    EXPECT_EQ(wsdl.One("//wsdl:service/wsdl:port/@name"), "CurrencyConvertorSoap");
    EXPECT_EQ(wsdl.One("//wsdl:service/wsdl:port/@binding"), "tns:CurrencyConvertorSoap");
    EXPECT_EQ(wsdl.One("//wsdl:binding[@name='CurrencyConvertorSoap']/wsoap:binding/@transport"),
              "http://schemas.xmlsoap.org/soap/http");
    const std::string operation =
        "//wsdl:binding[@name='CurrencyConvertorSoap']/wsdl:operation[@name='ConversionRate']";
    EXPECT_EQ(wsdl.One(operation + "/wsoap:operation/@soapAction"),
              "http://www.webserviceX.NET/ConversionRate");
    EXPECT_EQ(wsdl.One(operation + "/wsoap:operation/@style"), "document");
    EXPECT_EQ(wsdl.One(operation + "/wsdl:input/wsoap:body/@use"), "literal");
    EXPECT_EQ(wsdl.One(operation + "/wsdl:output/wsoap:body/@use"), "literal");
    EXPECT_EQ(wsdl.One("//wsdl:portType[@name='CurrencyConvertorSoap']/wsdl:operation/@name"),
              "ConversionRate");
    EXPECT_EQ(wsdl.One("//wsdl:message[@name='ConversionRateSoapIn']/wsdl:part/@element"),
              "tns:ConversionRate");

    // Wrapped parameters: the request element holds the two codes of type Currency, in this order.
    EXPECT_EQ(wsdl.All("//s:element[@name='ConversionRate']//s:element/@name"),
              (std::vector<std::string>{"FromCurrency", "ToCurrency"}));
    EXPECT_EQ(wsdl.All("//s:element[@name='ConversionRate']//s:element/@type"),
              (std::vector<std::string>{"tns:Currency", "tns:Currency"}));
    EXPECT_EQ(wsdl.One("//s:element[@name='ConversionRateResponse']//s:element/@type"), "s:double");

    std::vector<std::string> codes;
    for (int i = 0; i < CurrencyCount; ++i)
        codes.emplace_back(CurrencyExternalName(static_cast<Currency>(i)));
    const auto enumeration = wsdl.All("//s:simpleType[@name='Currency']/s:restriction/s:enumeration/@value");
    EXPECT_EQ(enumeration, codes);
    ASSERT_EQ(enumeration.size(), 151u);
    EXPECT_EQ(enumeration.back(), "TRY");
}

TEST(RatedDescription, LocationFollowsTheHostUsedAndTheQueryWordInAnyCase) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    const std::string port = std::to_string(service.Port());
    const std::string location = "//wsdl:service/wsdl:port/*[local-name()='address']/@location";
    for (const char* query : {"wsdl", "WSDL", "Wsdl"}) {
        auto res = service.Client().Get(std::string("/CurrencyConvertor.asmx?") + query);
        ASSERT_TRUE(res);
        EXPECT_EQ(XPathDoc(res->body).One(location), "http://127.0.0.1:" + port + "/CurrencyConvertor.asmx")
            << query;
    }
    auto viaName = service.Client().Get("/CurrencyConvertor.asmx?wsdl", {{"Host", "localhost:" + port}});
    ASSERT_TRUE(viaName);
    EXPECT_EQ(XPathDoc(viaName->body).One(location), "http://localhost:" + port + "/CurrencyConvertor.asmx");

    // A Host header that is not a plain host and port never reaches the document.
    auto hostile = service.Client().Get("/CurrencyConvertor.asmx?wsdl", {{"Host", "a\"><x y=\"z"}});
    ASSERT_TRUE(hostile);
    EXPECT_EQ(XPathDoc(hostile->body).One(location), "http://127.0.0.1:" + port + "/CurrencyConvertor.asmx");

    auto plain = service.Client().Get("/CurrencyConvertor.asmx");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->status, 200);
    EXPECT_EQ(plain->body.find("<wsdl:"), std::string::npos);
    auto elsewhere = service.Client().Get("/other?wsdl");
    ASSERT_TRUE(elsewhere);
    EXPECT_EQ(elsewhere->status, 404);
}

TEST(RatedDescription, SaysWhenRatesAreSimulated) {
    RatedService real;
    RatedService simulated(SimulatedFeed(42));
    ASSERT_TRUE(real.Ready() && simulated.Ready());
    const std::string documentation = "//wsdl:service/wsdl:documentation";
    auto realRes = real.Client().Get("/CurrencyConvertor.asmx?wsdl");
    auto simRes = simulated.Client().Get("/CurrencyConvertor.asmx?wsdl");
    ASSERT_TRUE(realRes && simRes);
    const std::string realDoc = XPathDoc(realRes->body).One(documentation);
    const std::string simDoc = XPathDoc(simRes->body).One(documentation);
    EXPECT_NE(realDoc.find("eurofxref-daily.xml"), std::string::npos) << realDoc;
    EXPECT_EQ(realDoc.find("SIMULATED"), std::string::npos) << realDoc;
    EXPECT_NE(simDoc.find("SIMULATED"), std::string::npos) << simDoc;
    EXPECT_NE(simDoc.find("--walk-start 42"), std::string::npos) << simDoc;
}

TEST(RatedConversion, EveryCoveredPairIsTheExactCrossRate) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    std::map<std::string, double> rates;
    for (const auto& [code, rate] : SampleRates())
        if (rated::CurrencyFromExternalName(code) >= 0)
            rates[code] = rate;
    ASSERT_EQ(rates.size(), 30u); // the sample's 31 rates less BGN and RON, plus the euro

    httplib::Client client = service.Client();
    client.set_keep_alive(true);
    // Each pair twice: the service may answer a body it has read before from memory, and every body here
    // has the same length as the one before it.
    for (const auto& [from, fromRate] : rates) {
        for (const auto& [to, toRate] : rates) {
            for (int time = 0; time < 2; ++time) {
                auto res = client.Post("/CurrencyConvertor.asmx", ConversionRequest(from, to), "text/xml");
                ASSERT_TRUE(res) << from << "/" << to;
                ASSERT_EQ(res->status, 200) << res->body;
                EXPECT_EQ(ReadDouble(ResultText(res)), toRate / fromRate)
                    << from << "/" << to << ": " << res->body;
            }
        }
    }
    EXPECT_EQ(service.log.Count(" fault "), 0u);
    EXPECT_EQ(service.log.Count("USD/JPY "), 2u);
}

TEST(RatedConversion, AnswersWithDotDecimalsWhateverTheLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "scripts/setup generates de_DE.UTF-8";
    RatedService service;
    ASSERT_TRUE(service.Ready());
    auto res = service.Post(ConversionRequest("USD", "JPY"), "\"http://www.webserviceX.NET/ConversionRate\"");
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(res);
    const std::string text = ResultText(res);
    EXPECT_EQ(text.find(','), std::string::npos) << text;
    EXPECT_EQ(ReadDouble(text), 138.05 / 1.0163) << text;
}

struct BadRequest {
    std::string name;
    std::string body;
    std::string faultcode;
    std::string says;
    std::string action = "";
};

TEST(RatedFaults, EveryBadRequestGetsAFaultWithStatus500) {
    const std::string env = "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">";
    const std::string op = "<ConversionRate xmlns=\"http://www.webserviceX.NET/\">";
    const std::vector<BadRequest> cases = {
        {"unknown code", ConversionRequest("USD", "XYZ"), "soap:Client",
         "Unknown currency code 'XYZ' in ToCurrency"},
        {"member name", ConversionRequest("TRY_", "USD"), "soap:Client", "Unknown currency code 'TRY_'"},
        {"small letters", ConversionRequest("usd", "JPY"), "soap:Client", "Unknown currency code 'usd'"},
        {"uncovered code", ConversionRequest("USD", "AFA"), "soap:Server", "No reference rate for AFA"},
        {"malformed", ConversionRequest("USD", "JPY").substr(0, 200), "soap:Client", "not well-formed XML"},
        {"empty", "", "soap:Client", "Empty request"},
        {"not xml", "hello", "soap:Client", "not well-formed XML"},
        {"not an envelope", "<html><body>hi</body></html>", "soap:Client", "not a SOAP 1.1 envelope"},
        {"soap 1.2", "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body/></e:Envelope>",
         "soap:VersionMismatch", "SOAP 1.2"},
        {"no body", env + "</e:Envelope>", "soap:Client", "no Body"},
        {"empty body", env + "<e:Body/></e:Envelope>", "soap:Client", "no ConversionRate"},
        {"other operation",
         env + "<e:Body><GetRate xmlns=\"http://www.webserviceX.NET/\"/></e:Body></e:Envelope>",
         "soap:Client", "Unknown operation 'GetRate'"},
        {"missing element",
         env + "<e:Body>" + op + "<FromCurrency>USD</FromCurrency></ConversionRate></e:Body></e:Envelope>",
         "soap:Client", "lacks the ToCurrency element"},
        {"unqualified element",
         env + "<e:Body>" + op +
             "<FromCurrency>USD</FromCurrency><ToCurrency xmlns=\"\">JPY</ToCurrency>"
             "</ConversionRate></e:Body></e:Envelope>",
         "soap:Client", "ToCurrency must be in the namespace"},
        {"nested element", ConversionRequest("<a>USD</a>", "JPY"), "soap:Client",
         "must hold a currency code"},
        {"must understand",
         env + "<e:Header><Session xmlns=\"urn:x\" e:mustUnderstand=\"1\">1</Session></e:Header><e:Body>" +
             op +
             "<FromCurrency>USD</FromCurrency><ToCurrency>JPY</ToCurrency></ConversionRate></e:Body></"
             "e:Envelope>",
         "soap:MustUnderstand", "Session"},
        {"entity expansion",
         "<?xml version=\"1.0\"?><!DOCTYPE e:Envelope [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
         "\"&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>" +
             ConversionRequest("&d;", "JPY").substr(21),
         "soap:Client", "document type declaration"},
        {"document type", "<!DOCTYPE x [<!ENTITY a \"USD\">]>" + ConversionRequest("&a;", "JPY").substr(21),
         "soap:Client", "document type declaration"},
        {"other action", ConversionRequest("USD", "JPY"), "soap:Client", "Unknown SOAPAction",
         "\"http://www.webserviceX.NET/Other\""},
    };
    RatedService service;
    ASSERT_TRUE(service.Ready());
    for (const auto& bad : cases) {
        auto res = service.Post(bad.body, bad.action);
        ASSERT_TRUE(res) << bad.name;
        EXPECT_EQ(res->status, 500) << bad.name;
        EXPECT_EQ(res->get_header_value("Content-Type").rfind("text/xml", 0), 0u) << bad.name;
        XPathDoc fault(res->body);
        EXPECT_EQ(fault.One("/soap:Envelope/soap:Body/soap:Fault/faultcode"), bad.faultcode) << bad.name;
        const std::string text = fault.One("/soap:Envelope/soap:Body/soap:Fault/faultstring");
        EXPECT_NE(text.find(bad.says), std::string::npos) << bad.name << ": " << text;
    }
    // Each fault is logged on one line, with the pair once the codes are known.
    EXPECT_EQ(service.log.Count(" fault "), cases.size());
    EXPECT_EQ(service.log.Count("USD/AFA fault Server: No reference rate for AFA"), 1u);
}

TEST(RatedFaults, FaultTextsAndLogLinesAreOneLineOfUtf8WhateverTheRequestHeld) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    // libxml2 quotes the byte D7 in its reason; a line break in a code would start a log line.
    const std::string rawByte = "<a xmlns=\"\xD7\"/>";
    const std::string lineBreak = ConversionRequest("US\nD 2026-01-01T00:00:00.000Z USD/JPY 1", "JPY");
    for (const std::string& body : {rawByte, lineBreak}) {
        auto res = service.Post(body);
        ASSERT_TRUE(res);
        EXPECT_EQ(PrintableUtf8(res->body), res->body);
        const auto read = ReadConversionRateResponse(res->body);
        ASSERT_FALSE(read.ok());
        EXPECT_EQ(read.error().kind, ServiceErrorKind::Fault) << Describe(read.error());
        EXPECT_EQ(read.error().message.find('\n'), std::string::npos) << read.error().message;
    }
    for (const std::string& line : service.log.Lines())
        EXPECT_EQ(PrintableUtf8(line), line);
    EXPECT_EQ(service.log.Count("\\xD7"), 1u);
}
