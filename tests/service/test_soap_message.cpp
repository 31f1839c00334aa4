#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <locale>
#include <string>

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include "service/SoapMessage.h"

using namespace quorvane;

namespace {

std::string Envelope(const std::string& body, const std::string& beforeBody = "") {
    return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">" +
           beforeBody + "<s:Body>" + body + "</s:Body></s:Envelope>";
}

std::string Wrapper(const std::string& children) {
    return Envelope("<ConversionRateResponse xmlns=\"http://www.webserviceX.NET/\">" + children +
                    "</ConversionRateResponse>");
}

ServiceErrorKind KindOf(const ServiceResult<double>& result) {
    EXPECT_FALSE(result.ok());
    return result.ok() ? ServiceErrorKind::NotInitialised : result.error().kind;
}

// Switches the process to a comma-decimal locale for one test and back afterwards.
class CommaDecimalLocale {
public:
    CommaDecimalLocale() {
        const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
        EXPECT_NE(set, nullptr) << "de_DE.UTF-8 must be installed (scripts/setup generates it)";
        if (set)
            std::locale::global(std::locale("de_DE.UTF-8"));
    }
    ~CommaDecimalLocale() {
        std::setlocale(LC_ALL, "C");
        std::locale::global(std::locale::classic());
    }
};

} // namespace

TEST(RequestWriter, WritesTheWrappedDocumentLiteralRequest) {
    const std::string request = WriteConversionRateRequest("http://www.webserviceX.NET/", "USD", "JPY");
    EXPECT_EQ(request, "<?xml version=\"1.0\"?>\n"
                       "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
                       " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
                       " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
                       "<SOAP-ENV:Body><ConversionRate xmlns=\"http://www.webserviceX.NET/\">"
                       "<FromCurrency>USD</FromCurrency><ToCurrency>JPY</ToCurrency>"
                       "</ConversionRate></SOAP-ENV:Body></SOAP-ENV:Envelope>");
    EXPECT_EQ(request.find("encoding"), std::string::npos);
    EXPECT_EQ(request.find("SOAP-ENC"), std::string::npos);
    EXPECT_EQ(request.find("xsi:type"), std::string::npos);
    EXPECT_NE(static_cast<unsigned char>(request[0]), 0xEF); // no byte order mark
}

TEST(RequestWriter, ProducesWellFormedXmlWithTheCodesInTheBodyNamespace) {
    // A namespace taken from a description may need escaping; the document must stay well-formed.
    const std::string odd = WriteConversionRateRequest("urn:rates?a=1&b=\"2\"<", "EUR", "TRY");
    xmlDoc* oddDoc = xmlReadMemory(odd.data(), static_cast<int>(odd.size()), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_NE(oddDoc, nullptr);
    xmlFreeDoc(oddDoc);

    const std::string ns = "urn:quorvane:rates";
    const std::string request = WriteConversionRateRequest(ns, "EUR", "TRY");
    xmlDoc* doc = xmlReadMemory(request.data(), static_cast<int>(request.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ASSERT_NE(doc, nullptr);
    const xmlNode* root = xmlDocGetRootElement(doc);
    const xmlNode* body = xmlFirstElementChild(const_cast<xmlNode*>(root));
    const xmlNode* operation = xmlFirstElementChild(const_cast<xmlNode*>(body));
    const xmlNode* from = xmlFirstElementChild(const_cast<xmlNode*>(operation));
    const xmlNode* to = xmlNextElementSibling(const_cast<xmlNode*>(from));
    ASSERT_TRUE(root && body && operation && from && to);
    EXPECT_STREQ(reinterpret_cast<const char*>(body->name), "Body");
    EXPECT_STREQ(reinterpret_cast<const char*>(operation->name), "ConversionRate");
    EXPECT_STREQ(reinterpret_cast<const char*>(operation->ns->href), ns.c_str());
    EXPECT_STREQ(reinterpret_cast<const char*>(from->name), "FromCurrency");
    EXPECT_STREQ(reinterpret_cast<const char*>(from->ns->href), ns.c_str());
    EXPECT_STREQ(reinterpret_cast<const char*>(to->name), "ToCurrency");
    EXPECT_EQ(from->properties, nullptr);
    EXPECT_EQ(to->properties, nullptr);
    xmlChar* text = xmlNodeGetContent(to);
    EXPECT_STREQ(reinterpret_cast<const char*>(text), "TRY");
    xmlFree(text);
    xmlFreeDoc(doc);
}

TEST(RequestWriter, TheBodyNamespaceReadsBackExactlyAsTheDescriptionGaveIt) {
    const std::string ns = "urn:rates?a='1';b=\"2\"<3>";
    const std::string request = WriteConversionRateRequest(ns, "USD", "JPY");
    xmlDoc* doc = xmlReadMemory(request.data(), static_cast<int>(request.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ASSERT_NE(doc, nullptr) << request;
    const xmlNode* body = xmlFirstElementChild(xmlDocGetRootElement(doc));
    const xmlNode* operation = body ? xmlFirstElementChild(const_cast<xmlNode*>(body)) : nullptr;
    ASSERT_TRUE(operation && operation->ns);
    EXPECT_STREQ(reinterpret_cast<const char*>(operation->ns->href), ns.c_str());
    xmlFreeDoc(doc);
}

TEST(ResponseReader, ReadsTheResultOfTheWrapper) {
    auto rate = ReadConversionRateResponse(Wrapper("<ConversionRateResult>151.25</ConversionRateResult>"));
    ASSERT_TRUE(rate.ok()) << Describe(rate.error());
    EXPECT_DOUBLE_EQ(rate.value(), 151.25);

    // One child is the result whatever its name; a Header and text before the wrapper are skipped.
    rate = ReadConversionRateResponse(
        Envelope("\n  <!-- c --><W><anything>0.5</anything></W>", "<s:Header><x>1</x></s:Header>"));
    ASSERT_TRUE(rate.ok()) << Describe(rate.error());
    EXPECT_DOUBLE_EQ(rate.value(), 0.5);
}

TEST(ResponseReader, PicksResultOrReturnAmongSeveralChildren) {
    auto rate = ReadConversionRateResponse(Wrapper("<Note>7</Note><Result>1.5</Result>"));
    ASSERT_TRUE(rate.ok()) << Describe(rate.error());
    EXPECT_DOUBLE_EQ(rate.value(), 1.5);

    rate = ReadConversionRateResponse(Wrapper("<a>7</a><RETURN>2.5</RETURN><result>9</result>"));
    ASSERT_TRUE(rate.ok()) << Describe(rate.error());
    EXPECT_DOUBLE_EQ(rate.value(), 2.5);

    EXPECT_EQ(KindOf(ReadConversionRateResponse(Wrapper("<a>1</a><b>2</b>"))), ServiceErrorKind::NoResult);
    EXPECT_EQ(KindOf(ReadConversionRateResponse(Wrapper(""))), ServiceErrorKind::NoResult);
    EXPECT_EQ(KindOf(ReadConversionRateResponse(Envelope("  "))), ServiceErrorKind::NoResult);
}

TEST(ResponseReader, TurnsAFaultIntoAnErrorWithItsTexts) {
    const auto rate = ReadConversionRateResponse(Envelope(
        "<s:Fault><FaultCode>s:Client</FaultCode><faultstring>Unknown currency</faultstring>"
        "<faultactor>http://rates/</faultactor><detail><why code=\"7\">bad</why></detail></s:Fault>"));
    ASSERT_EQ(KindOf(rate), ServiceErrorKind::Fault);
    EXPECT_EQ(rate.error().message, "Unknown currency");
    EXPECT_EQ(rate.error().faultCode, "s:Client");
    EXPECT_EQ(rate.error().faultActor, "http://rates/");
    EXPECT_NE(rate.error().faultDetail.find("<why code=\"7\">bad</why>"), std::string::npos);
    EXPECT_NE(Describe(rate.error()).find("Unknown currency"), std::string::npos);
}

TEST(ResponseReader, RejectsWhatIsNoSoap11Envelope) {
    const char* soap12 =
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><W><R>1</R></W>"
        "</e:Body></e:Envelope>";
    EXPECT_EQ(KindOf(ReadConversionRateResponse(soap12)), ServiceErrorKind::NotEnvelope);
    EXPECT_EQ(KindOf(ReadConversionRateResponse("<html><body>1.0</body></html>")),
              ServiceErrorKind::NotEnvelope);
    EXPECT_EQ(KindOf(ReadConversionRateResponse(
                  "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"/>")),
              ServiceErrorKind::NotEnvelope);
    EXPECT_EQ(KindOf(ReadConversionRateResponse(Envelope("<W><R>1</R></W>", "<s:Header/><s:Header/>"))),
              ServiceErrorKind::NotEnvelope);
    EXPECT_EQ(KindOf(ReadConversionRateResponse(Envelope("<W><R>1</R></W></s:Body><s:Body><W><R>2</R></W>"))),
              ServiceErrorKind::NotEnvelope);
}

TEST(ResponseReader, RejectsMalformedAndTruncatedBytes) {
    const std::string good = Wrapper("<ConversionRateResult>151.25</ConversionRateResult>");
    for (std::size_t cut : {std::size_t(0), std::size_t(10), good.size() / 2, good.size() - 1})
        EXPECT_EQ(KindOf(ReadConversionRateResponse(good.substr(0, cut))), ServiceErrorKind::Parse) << cut;
    EXPECT_EQ(KindOf(ReadConversionRateResponse("<a><b></a>")), ServiceErrorKind::Parse);
    EXPECT_EQ(KindOf(ReadConversionRateResponse(std::string("\0\0\0", 3))), ServiceErrorKind::Parse);
    const auto undefinedEntity = ReadConversionRateResponse(Wrapper("<R>&rate;</R>"));
    EXPECT_EQ(KindOf(undefinedEntity), ServiceErrorKind::Parse);
}

TEST(ResponseReader, NeverReadsExternalEntities) {
    const auto secret = std::filesystem::temp_directory_path() / "quorvane-entity-rate.txt";
    {
        std::ofstream out(secret);
        out << "42";
    }
    const std::string response =
        "<?xml version=\"1.0\"?><!DOCTYPE s:Envelope [<!ENTITY rate SYSTEM \"file://" + secret.string() +
        "\">]>" + Wrapper("<ConversionRateResult>&rate;</ConversionRateResult>").substr(21);
    const auto rate = ReadConversionRateResponse(response);
    std::filesystem::remove(secret);
    EXPECT_FALSE(rate.ok()) << "read " << rate.value();
}

TEST(ResponseReader, LetsTheDocumentDeclareItsEncoding) {
    // ISO-8859-1 with a non-ASCII byte in the wrapper name, and UTF-16 with a byte order mark.
    std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                         "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                         "<W\xE9><R>2.5</R></W\xE9></s:Body></s:Envelope>";
    auto rate = ReadConversionRateResponse(latin1);
    ASSERT_TRUE(rate.ok()) << Describe(rate.error());
    EXPECT_DOUBLE_EQ(rate.value(), 2.5);

    const std::string ascii = Wrapper("<R>3.75</R>");
    std::string utf16 = "\xFF\xFE";
    for (char c : ascii) {
        utf16 += c;
        utf16 += '\0';
    }
    rate = ReadConversionRateResponse(utf16);
    ASSERT_TRUE(rate.ok()) << Describe(rate.error());
    EXPECT_DOUBLE_EQ(rate.value(), 3.75);
}

TEST(RateText, ReadsNumberFormsWhateverTheLocale) {
    CommaDecimalLocale german;
    struct Case {
        const char* text;
        double value;
    };
    for (const Case& c :
         {Case{" 151.25 ", 151.25}, Case{"\t\n0.0089\r\n", 0.0089}, Case{"-1.5", -1.5}, Case{"+2", 2.0},
          Case{"1e3", 1000.0}, Case{"1.5E-2", 0.015}, Case{".5", 0.5}, Case{"7.", 7.0}, Case{"0", 0.0}}) {
        const auto rate = ReadRateText(c.text);
        ASSERT_TRUE(rate.ok()) << c.text;
        EXPECT_DOUBLE_EQ(rate.value(), c.value) << c.text;
    }
    EXPECT_TRUE(std::isinf(ReadRateText("INF").value()));
    EXPECT_GT(ReadRateText(" inf ").value(), 0);
    EXPECT_LT(ReadRateText("-Inf").value(), 0);
    EXPECT_TRUE(std::isinf(ReadRateText("-INF").value()));
    EXPECT_TRUE(std::isnan(ReadRateText("NaN").value()));
    EXPECT_TRUE(std::isnan(ReadRateText("nan").value()));
}

TEST(RateText, RejectsWhatIsNoDecimalNumber) {
    CommaDecimalLocale german;
    for (const char* text : {"", "   ", "151,25", "1.2.3", "abc", "12abc", "0x1A", "1e", "e5", "+", "-", ".",
                             "1 000", "infinity", "+INF", "nan(1)", "1e999", "--1"})
        EXPECT_EQ(KindOf(ReadRateText(text)), ServiceErrorKind::NotANumber) << '"' << text << '"';
}

TEST(ResponseReader, ReadsTheResultUnderACommaDecimalLocale) {
    CommaDecimalLocale german;
    const auto rate =
        ReadConversionRateResponse(Wrapper("<ConversionRateResult> 0.0089 </ConversionRateResult>"));
    ASSERT_TRUE(rate.ok()) << Describe(rate.error());
    EXPECT_DOUBLE_EQ(rate.value(), 0.0089);
    EXPECT_EQ(KindOf(ReadConversionRateResponse(Wrapper("<ConversionRateResult></ConversionRateResult>"))),
              ServiceErrorKind::NotANumber);
}
