#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "service/ServiceDescription.h"

using namespace quorvane;

namespace {

// Serves documents from memory and remembers which addresses were asked for.
struct MemoryLoader {
    std::map<std::string, std::string> documents;
    std::vector<std::string> asked;

    DocumentLoader Loader() {
        return [this](const std::string& address) -> ServiceResult<std::string> {
            asked.push_back(address);
            const auto it = documents.find(address);
            if (it == documents.end())
                return MakeError(ServiceErrorKind::Network, "no document at " + address);
            return it->second;
        };
    }
};

std::string Published() {
    std::ifstream in(QUORVANE_TEST_DATA "/currency-convertor.wsdl", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

const char* Head = "<?xml version=\"1.0\"?>"
                   "<wsdl:definitions xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\""
                   " xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\"";

std::string Binding(const std::string& name, const std::string& operationAttributes,
                    const std::string& bodyAttributes) {
    return "<wsdl:binding name=\"" + name +
           "\" type=\"tns:CurrencyConvertorSoap\">"
           "<soap:binding transport=\"http://schemas.xmlsoap.org/soap/http\"/>"
           "<wsdl:operation name=\"ConversionRate\"><soap:operation " +
           operationAttributes +
           "/>"
           "<wsdl:input><soap:body use=\"literal\" " +
           bodyAttributes +
           "/></wsdl:input></wsdl:operation>"
           "</wsdl:binding>";
}

std::string Service(const std::string& binding, const std::string& location) {
    return "<wsdl:service name=\"CurrencyConvertor\"><wsdl:port name=\"CurrencyConvertorSoap\" binding=\"" +
           binding + "\"><soap:address location=\"" + location + "\"/></wsdl:port></wsdl:service>";
}

ServiceResult<OperationBinding> ResolveFrom(MemoryLoader& memory, const std::string& address) {
    auto description = ServiceDescription::Load(address, memory.Loader());
    if (!description)
        return description.error();
    return description.value().Resolve("CurrencyConvertor", "CurrencyConvertorSoap", "ConversionRate");
}

} // namespace

TEST(ServiceDescription, ReadsThePublishedDescription) {
    MemoryLoader memory;
    memory.documents["http://h/CurrencyConvertor.asmx?wsdl"] = Published();
    const auto binding = ResolveFrom(memory, "http://h/CurrencyConvertor.asmx?wsdl");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_EQ(binding.value().endpoint, "http://www.webservicex.net/CurrencyConvertor.asmx");
    EXPECT_EQ(binding.value().soapAction, "http://www.webserviceX.NET/ConversionRate");
    EXPECT_EQ(binding.value().bodyNamespace, ""); // literal body without a namespace attribute
    EXPECT_TRUE(binding.value().bindingFound);
}

TEST(ServiceDescription, TakesActionAndBodyNamespaceFromTheNamedBinding) {
    // Two bindings with the port's local name; only the one in the namespace of the prefix counts.
    MemoryLoader memory;
    memory.documents["d"] = std::string(Head) +
                            " xmlns:tns=\"urn:rates\" xmlns:b=\"urn:other\" targetNamespace=\"urn:rates\">" +
                            Binding("Soap", "soapAction=\"urn:rates#Rate\"", "namespace=\"urn:body\"") +
                            Service("tns:Soap", " http://svc/endpoint ") + "</wsdl:definitions>";
    auto binding = ResolveFrom(memory, "d");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_EQ(binding.value().endpoint, "http://svc/endpoint");
    EXPECT_EQ(binding.value().soapAction, "urn:rates#Rate");
    EXPECT_EQ(binding.value().bodyNamespace, "urn:body");

    // A prefix bound to another namespace names no binding here: the call falls back to defaults.
    memory.documents["e"] = std::string(Head) + " xmlns:b=\"urn:other\" targetNamespace=\"urn:rates\">" +
                            Binding("Soap", "soapAction=\"urn:rates#Rate\"", "") +
                            Service("b:Soap", "http://svc/") + "</wsdl:definitions>";
    binding = ResolveFrom(memory, "e");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_FALSE(binding.value().bindingFound);
    EXPECT_EQ(binding.value().soapAction, "");

    // An unprefixed binding name stands for the target namespace.
    memory.documents["f"] = std::string(Head) + " targetNamespace=\"urn:rates\">" +
                            Binding("Soap", "soapAction=\"urn:a\"", "") + Service("Soap", "http://svc/") +
                            "</wsdl:definitions>";
    binding = ResolveFrom(memory, "f");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_TRUE(binding.value().bindingFound);
    EXPECT_EQ(binding.value().soapAction, "urn:a");
}

TEST(ServiceDescription, LeavesTheActionEmptyWhenTheOperationHasNone) {
    MemoryLoader memory;
    memory.documents["d"] = std::string(Head) + " xmlns:tns=\"urn:r\" targetNamespace=\"urn:r\">" +
                            Binding("Soap", "style=\"document\"", "") + Service("tns:Soap", "http://svc/") +
                            "</wsdl:definitions>";
    const auto binding = ResolveFrom(memory, "d");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_TRUE(binding.value().bindingFound);
    EXPECT_EQ(binding.value().soapAction, "");
}

TEST(ServiceDescription, FindsServiceAndBindingInImportedDescriptions) {
    // The main description only imports; the imported one imports the binding from a third, and
    // imports back the first (a cycle that must not loop).
    MemoryLoader memory;
    memory.documents["http://h/wsdl/main.wsdl"] =
        std::string(Head) +
        " targetNamespace=\"urn:main\">"
        "<wsdl:import namespace=\"urn:svc\" location=\"parts/service.wsdl\"/></wsdl:definitions>";
    memory.documents["http://h/wsdl/parts/service.wsdl"] =
        std::string(Head) +
        " xmlns:bnd=\"urn:bind\" targetNamespace=\"urn:svc\">"
        "<wsdl:import namespace=\"urn:bind\" location=\"../binding.wsdl\"/>"
        "<wsdl:import namespace=\"urn:main\" location=\"http://h/wsdl/main.wsdl\"/>" +
        Service("bnd:Soap", "http://svc/imported") + "</wsdl:definitions>";
    memory.documents["http://h/wsdl/binding.wsdl"] =
        std::string(Head) + " targetNamespace=\"urn:bind\">" +
        Binding("Soap", "soapAction=\"urn:bind#Rate\"", "namespace=\"urn:body\"") + "</wsdl:definitions>";

    auto description = ServiceDescription::Load("http://h/wsdl/main.wsdl", memory.Loader());
    ASSERT_TRUE(description.ok()) << Describe(description.error());
    const auto binding =
        description.value().Resolve("CurrencyConvertor", "CurrencyConvertorSoap", "ConversionRate");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_EQ(description.value().DocumentCount(), 3u);
    EXPECT_EQ(memory.asked.size(), 3u);
    EXPECT_EQ(binding.value().endpoint, "http://svc/imported");
    EXPECT_EQ(binding.value().soapAction, "urn:bind#Rate");
    EXPECT_EQ(binding.value().bodyNamespace, "urn:body");
}

TEST(ServiceDescription, FailsWhenAnImportCannotBeLoaded) {
    MemoryLoader memory;
    memory.documents["main"] =
        std::string(Head) + " targetNamespace=\"urn:main\">"
                            "<wsdl:import namespace=\"urn:x\" location=\"missing.wsdl\"/></wsdl:definitions>";
    auto description = ServiceDescription::Load("main", memory.Loader());
    ASSERT_TRUE(description.ok()) << Describe(description.error());
    const auto binding =
        description.value().Resolve("CurrencyConvertor", "CurrencyConvertorSoap", "ConversionRate");
    ASSERT_FALSE(binding.ok());
    EXPECT_NE(binding.error().message.find("missing.wsdl"), std::string::npos) << binding.error().message;

    // The next call tries the import again: it may have been a passing fault of the network.
    memory.documents["missing.wsdl"] =
        std::string(Head) + " targetNamespace=\"urn:x\">" + Service("Soap", "http://svc/") + "</wsdl:definitions>";
    const auto again =
        description.value().Resolve("CurrencyConvertor", "CurrencyConvertorSoap", "ConversionRate");
    ASSERT_TRUE(again.ok()) << Describe(again.error());
}

TEST(ServiceDescription, ReadsImportsOnlyWhenANameIsMissingAndIgnoresSchemas) {
    // Everything is in the description itself: a broken import and one that is no WSDL are not read.
    MemoryLoader memory;
    const std::string imports = "<wsdl:import namespace=\"urn:x\" location=\"http://h/broken.wsdl\"/>"
                                "<wsdl:import namespace=\"urn:s\" location=\"http://h/types.xsd\"/>"
                                "<wsdl:import namespace=\"urn:b\" location=\"http://h/binding.wsdl\"/>";
    memory.documents["http://h/broken.wsdl"] = "<html>Not Found</html>";
    memory.documents["http://h/types.xsd"] = "<s:schema xmlns:s=\"http://www.w3.org/2001/XMLSchema\"/>";
    memory.documents["http://h/binding.wsdl"] = std::string(Head) + " targetNamespace=\"urn:b\">" +
                                                Binding("Soap", "soapAction=\"urn:b#Rate\"", "") +
                                                "</wsdl:definitions>";
    memory.documents["http://h/whole.wsdl"] = std::string(Head) + " xmlns:tns=\"urn:r\" targetNamespace=\"urn:r\">" +
                                              imports + Binding("Soap", "soapAction=\"urn:r#Rate\"", "") +
                                              Service("tns:Soap", "http://svc/") + "</wsdl:definitions>";
    auto binding = ResolveFrom(memory, "http://h/whole.wsdl");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_EQ(binding.value().soapAction, "urn:r#Rate");
    EXPECT_EQ(memory.asked, std::vector<std::string>{"http://h/whole.wsdl"});

    // A binding found only in the third import: the two before it are passed over on the way.
    memory.asked.clear();
    memory.documents["http://h/port.wsdl"] = std::string(Head) + " xmlns:b=\"urn:b\" targetNamespace=\"urn:r\">" +
                                             imports + Service("b:Soap", "http://svc/") + "</wsdl:definitions>";
    binding = ResolveFrom(memory, "http://h/port.wsdl");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_EQ(binding.value().soapAction, "urn:b#Rate");
    EXPECT_EQ(memory.asked.size(), 4u);
}

TEST(ServiceDescription, ARemoteDescriptionCannotImportLocalFiles) {
    MemoryLoader memory;
    const std::string importing = std::string(Head) +
                                  " targetNamespace=\"urn:main\"><wsdl:import namespace=\"urn:x\""
                                  " location=\"LOCATION\"/></wsdl:definitions>";
    auto withLocation = [&](const std::string& location) {
        std::string text = importing;
        text.replace(text.find("LOCATION"), 8, location);
        return text;
    };
    memory.documents["http://h/main.wsdl"] = withLocation("file:///etc/hostname");
    const auto refused = ResolveFrom(memory, "http://h/main.wsdl");
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("file:///etc/hostname"), std::string::npos);
    EXPECT_EQ(memory.asked, std::vector<std::string>{"http://h/main.wsdl"});

    // A local description may import its neighbours.
    memory.documents["/srv/main.wsdl"] = withLocation("parts.wsdl");
    memory.documents["/srv/parts.wsdl"] = std::string(Head) + " targetNamespace=\"urn:x\"/>";
    auto local = ServiceDescription::Load("/srv/main.wsdl", memory.Loader());
    ASSERT_TRUE(local.ok()) << Describe(local.error());
    (void)local.value().Resolve("CurrencyConvertor", "CurrencyConvertorSoap", "ConversionRate");
    EXPECT_EQ(local.value().DocumentCount(), 2u);
}

TEST(ServiceDescription, FailsWithoutServicePortOrAddress) {
    MemoryLoader memory;
    memory.documents["no-service"] = std::string(Head) + " targetNamespace=\"urn:r\">"
                                                         "<wsdl:service name=\"Other\"/></wsdl:definitions>";
    memory.documents["no-port"] =
        std::string(Head) +
        " targetNamespace=\"urn:r\">"
        "<wsdl:service name=\"CurrencyConvertor\"><wsdl:port name=\"CurrencyConvertorSoap12\""
        " binding=\"x\"><soap:address location=\"http://a/\"/></wsdl:port></wsdl:service>"
        "</wsdl:definitions>";
    memory.documents["no-address"] =
        std::string(Head) + " targetNamespace=\"urn:r\">" + Service("Soap", "") + "</wsdl:definitions>";
    // Names are compared case-sensitively.
    memory.documents["wrong-case"] = std::string(Head) +
                                     " targetNamespace=\"urn:r\">"
                                     "<wsdl:service name=\"currencyconvertor\"/></wsdl:definitions>";
    for (const char* address : {"no-service", "no-port", "no-address", "wrong-case"}) {
        const auto binding = ResolveFrom(memory, address);
        ASSERT_FALSE(binding.ok()) << address;
        EXPECT_EQ(binding.error().kind, ServiceErrorKind::Description) << address;
    }
}

TEST(ServiceDescription, RejectsBytesThatAreNoDescription) {
    MemoryLoader memory;
    memory.documents["html"] = "<html><body>Service unavailable</body></html>";
    memory.documents["broken"] = Published().substr(0, 5000);
    memory.documents["empty"] = "";
    for (const char* address : {"html", "broken", "empty"}) {
        const auto description = ServiceDescription::Load(address, memory.Loader());
        ASSERT_FALSE(description.ok()) << address;
        EXPECT_EQ(description.error().kind, ServiceErrorKind::Description) << address;
    }
}

TEST(ServiceDescription, ReadsADescriptionInUtf16) {
    const std::string utf8 =
        std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?>") +
        "<wsdl:definitions xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\""
        " xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" targetNamespace=\"urn:r\">" +
        Service("Soap", "http://svc/utf16") + "</wsdl:definitions>";
    std::string utf16 = "\xFE\xFF"; // big endian with a byte order mark
    for (char c : utf8) {
        utf16 += '\0';
        utf16 += c;
    }
    MemoryLoader memory;
    memory.documents["d"] = utf16;
    const auto binding = ResolveFrom(memory, "d");
    ASSERT_TRUE(binding.ok()) << Describe(binding.error());
    EXPECT_EQ(binding.value().endpoint, "http://svc/utf16");
}
