#include "service/SoapMessage.h"
#include "util/Text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include <libxml/tree.h>

#include "util/Xml.h"

namespace quorvane {

namespace {

// Optional sign, digits with at most one ".", at least one digit, optional exponent with digits.
bool IsDecimalNumber(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        std::size_t exponentDigits = 0;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == s.size();
}

ServiceError FaultError(const xmlNode* fault) {
    ServiceError error{ServiceErrorKind::Fault, {}};
    for (const xmlNode* child = xml::FirstElementChild(fault); child;
         child = xml::NextElementSibling(child)) {
        const std::string_view name = xml::LocalName(child);
        if (EqualsIgnoringAsciiCase(name, "faultcode"))
            error.faultCode = xml::Text(child);
        else if (EqualsIgnoringAsciiCase(name, "faultstring"))
            error.message = xml::Text(child);
        else if (EqualsIgnoringAsciiCase(name, "faultactor"))
            error.faultActor = xml::Text(child);
        else if (EqualsIgnoringAsciiCase(name, "detail")) {
            xmlBuffer* buffer = xmlBufferCreate();
            if (buffer) {
                xmlNodeDump(buffer, child->doc, const_cast<xmlNode*>(child), 0, 0);
                error.faultDetail.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                                         static_cast<std::size_t>(xmlBufferLength(buffer)));
                xmlBufferFree(buffer);
            }
        }
    }
    if (error.message.empty())
        error.message = "SOAP fault without a fault string";
    return error;
}

// The body of a well-formed envelope, or why there is none.
ServiceResult<const xmlNode*> FindBody(const xmlNode* root) {
    if (!xml::IsElement(root, SoapEnvelopeNamespace, "Envelope"))
        return MakeError(ServiceErrorKind::NotEnvelope,
                         "root element {" + std::string(xml::NamespaceOf(root)) + "}" +
                             std::string(xml::LocalName(root)) + " is not a SOAP 1.1 envelope");
    const xmlNode* body = nullptr;
    int headers = 0;
    int bodies = 0;
    for (const xmlNode* child = xml::FirstElementChild(root); child; child = xml::NextElementSibling(child)) {
        if (xml::LocalName(child) == "Header")
            ++headers;
        else if (xml::LocalName(child) == "Body" && ++bodies == 1)
            body = child;
    }
    if (headers > 1)
        return MakeError(ServiceErrorKind::NotEnvelope, "envelope with more than one Header");
    if (bodies > 1)
        return MakeError(ServiceErrorKind::NotEnvelope, "envelope with more than one Body");
    if (!body)
        return MakeError(ServiceErrorKind::NotEnvelope, "envelope without a Body");
    return body;
}

// One element child is the result whatever its name; of several, the first named Result or Return.
const xmlNode* FindResult(const xmlNode* wrapper) {
    const xmlNode* first = xml::FirstElementChild(wrapper);
    if (first && !xml::NextElementSibling(first))
        return first;
    for (const xmlNode* child = first; child; child = xml::NextElementSibling(child))
        if (EqualsIgnoringAsciiCase(xml::LocalName(child), "Result") ||
            EqualsIgnoringAsciiCase(xml::LocalName(child), "Return"))
            return child;
    return nullptr;
}

} // namespace

std::string WriteConversionRateRequest(std::string_view bodyNamespace, std::string_view fromCode,
                                       std::string_view toCode) {
    std::string out;
    out.reserve(400 + bodyNamespace.size());
    out += "<?xml version=\"1.0\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"";
    out += SoapEnvelopeNamespace;
    out += "\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
           "<SOAP-ENV:Body><ConversionRate xmlns=\"";
    out += xml::Escape(bodyNamespace);
    out += "\"><FromCurrency>";
    out += xml::Escape(fromCode);
    out += "</FromCurrency><ToCurrency>";
    out += xml::Escape(toCode);
    out += "</ToCurrency></ConversionRate></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    return out;
}

ServiceResult<double> ReadRateText(std::string_view text) {
    text = TrimBlanks(text);
    if (EqualsIgnoringAsciiCase(text, "NaN"))
        return std::numeric_limits<double>::quiet_NaN();
    if (EqualsIgnoringAsciiCase(text, "INF"))
        return std::numeric_limits<double>::infinity();
    if (EqualsIgnoringAsciiCase(text, "-INF"))
        return -std::numeric_limits<double>::infinity();
    if (!IsDecimalNumber(text))
        return MakeError(ServiceErrorKind::NotANumber,
                         "result \"" + std::string(text) + "\" is not a number");
    // from_chars reads "." whatever the locale says, but takes no leading "+".
    std::string_view digits = text.front() == '+' ? text.substr(1) : text;
    double value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec == std::errc::result_out_of_range)
        return MakeError(ServiceErrorKind::NotANumber,
                         "result \"" + std::string(text) + "\" is out of range");
    if (ec != std::errc() || end != digits.data() + digits.size())
        return MakeError(ServiceErrorKind::NotANumber,
                         "result \"" + std::string(text) + "\" is not a number");
    return value;
}

ServiceResult<double> ReadConversionRateResponse(std::string_view bytes) {
    if (bytes.empty())
        return MakeError(ServiceErrorKind::Parse, "empty response");
    auto parsed = xml::Parse(bytes);
    if (!parsed.doc)
        return MakeError(ServiceErrorKind::Parse, parsed.error);
    auto body = FindBody(xmlDocGetRootElement(parsed.doc.get()));
    if (!body)
        return body.error();
    const xmlNode* first = xml::FirstElementChild(body.value());
    if (!first)
        return MakeError(ServiceErrorKind::NoResult, "empty SOAP body");
    if (xml::LocalName(first) == "Fault")
        return FaultError(first);
    const xmlNode* result = FindResult(first);
    if (!result)
        return MakeError(ServiceErrorKind::NoResult,
                         "no result element in " + std::string(xml::LocalName(first)));
    return ReadRateText(xml::Text(result));
}

} // namespace quorvane
