#include "rated/SoapMessages.h"

#include <libxml/tree.h>

#include <charconv>
#include <cmath>

#include "rated/RateSet.h"
#include "service/ServiceNames.h"
#include "util/Text.h"
#include "util/Xml.h"

namespace quorvane::rated {

namespace {

SoapFault ClientFault(std::string text) {
    return {"Client", std::move(text)};
}

// Request text echoed in a fault is cut short, on a character boundary so that it stays UTF-8.
std::string Quoted(std::string_view text) {
    constexpr std::size_t limit = 32;
    std::size_t cut = text.size();
    if (cut > limit) {
        cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
    }
    std::string quoted = "'";
    quoted.append(text.substr(0, cut));
    if (cut < text.size())
        quoted += "...";
    quoted += '\'';
    return quoted;
}

Result<const xmlNode*, SoapFault> FindBody(const xmlNode* envelope) {
    const xmlNode* body = nullptr;
    int headers = 0;
    for (const xmlNode* child = xml::FirstElementChild(envelope); child;
         child = xml::NextElementSibling(child)) {
        if (xml::IsElement(child, SoapEnvelopeNamespace, "Header")) {
            if (++headers > 1 || body)
                return ClientFault("The envelope holds a misplaced or second Header element");
            // SOAP 1.1, 4.2.3: a header entry we are told to understand and do not is a fault.
            for (const xmlNode* entry = xml::FirstElementChild(child); entry;
                 entry = xml::NextElementSibling(entry)) {
                xmlChar* must = xmlGetNsProp(entry, reinterpret_cast<const xmlChar*>("mustUnderstand"),
                                             reinterpret_cast<const xmlChar*>(SoapEnvelopeNamespace.data()));
                const bool required = must && std::string_view(reinterpret_cast<char*>(must)) == "1";
                xmlFree(must);
                if (required)
                    return SoapFault{"MustUnderstand", "Header entry " + std::string(xml::LocalName(entry)) +
                                                           " is not understood"};
            }
        } else if (xml::IsElement(child, SoapEnvelopeNamespace, "Body")) {
            if (body)
                return ClientFault("The envelope holds a second Body element");
            body = child;
        } else {
            return ClientFault("Unexpected element " + std::string(xml::LocalName(child)) +
                               " in the envelope");
        }
    }
    if (!body)
        return ClientFault("The envelope has no Body element");
    return body;
}

Result<Currency, SoapFault> ReadCode(const xmlNode* operation, std::string_view name) {
    const xmlNode* found = nullptr;
    for (const xmlNode* child = xml::FirstElementChild(operation); child;
         child = xml::NextElementSibling(child)) {
        if (xml::LocalName(child) != name)
            continue;
        if (xml::NamespaceOf(child) != ServiceNamespace)
            return ClientFault("Element " + std::string(name) + " must be in the namespace " +
                               std::string(ServiceNamespace));
        if (found)
            return ClientFault("ConversionRate holds " + std::string(name) + " twice");
        found = child;
    }
    if (!found)
        return ClientFault("ConversionRate lacks the " + std::string(name) + " element");
    if (xml::FirstElementChild(found))
        return ClientFault(std::string(name) + " must hold a currency code as text");
    const std::string code = xml::TrimmedText(found);
    const int currency = CurrencyFromExternalName(code);
    if (currency < 0)
        return ClientFault("Unknown currency code " + Quoted(code) + " in " + std::string(name));
    return static_cast<Currency>(currency);
}

} // namespace

Result<ConversionRequest, SoapFault> ReadConversionRequest(std::string_view body) {
    if (body.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return ClientFault("Empty request; a SOAP 1.1 envelope was expected");
    auto parsed = xml::Parse(body);
    if (!parsed.doc)
        return ClientFault("The request is " + parsed.error);
    // SOAP 1.1, 3: a message must not contain a document type declaration.
    if (parsed.doc->intSubset)
        return ClientFault("The request must not contain a document type declaration");
    const xmlNode* envelope = xmlDocGetRootElement(parsed.doc.get());
    if (xml::LocalName(envelope) == "Envelope" && xml::NamespaceOf(envelope) == Soap12EnvelopeNamespace)
        return SoapFault{"VersionMismatch",
                         "This service speaks SOAP 1.1, the request is a SOAP 1.2 envelope"};
    if (!xml::IsElement(envelope, SoapEnvelopeNamespace, "Envelope"))
        return ClientFault("The request is not a SOAP 1.1 envelope (root element " +
                           Quoted(xml::LocalName(envelope)) + ")");
    auto soapBody = FindBody(envelope);
    if (!soapBody)
        return soapBody.error();
    const xmlNode* operation = xml::FirstElementChild(soapBody.value());
    if (!operation)
        return ClientFault("The Body holds no ConversionRate element");
    if (!xml::IsElement(operation, ServiceNamespace, OperationName))
        return ClientFault("Unknown operation " + Quoted(xml::LocalName(operation)) + " in namespace " +
                           Quoted(xml::NamespaceOf(operation)) + "; this service offers ConversionRate in " +
                           std::string(ServiceNamespace));
    auto from = ReadCode(operation, "FromCurrency");
    if (!from)
        return from.error();
    auto to = ReadCode(operation, "ToCurrency");
    if (!to)
        return to.error();
    return ConversionRequest{from.value(), to.value()};
}

std::string RateText(double rate) {
    if (std::isnan(rate))
        return "NaN";
    if (std::isinf(rate))
        return rate > 0 ? "INF" : "-INF";
    return ShortestNumberText(rate);
}

std::string WriteConversionResponse(double rate) {
    std::string out;
    out.reserve(400);
    out +=
        R"(<?xml version="1.0" encoding="utf-8"?>)"
        R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/")"
        R"( xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema">)"
        R"(<soap:Body><ConversionRateResponse xmlns=")";
    out += ServiceNamespace;
    out += R"("><ConversionRateResult>)";
    out += RateText(rate);
    out += "</ConversionRateResult></ConversionRateResponse></soap:Body></soap:Envelope>";
    return out;
}

std::string WriteFault(const SoapFault& fault) {
    return R"(<?xml version="1.0" encoding="utf-8"?>)"
           R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><soap:Fault>)"
           "<faultcode>soap:" +
           xml::Escape(fault.code) + "</faultcode><faultstring>" + xml::Escape(fault.text) +
           "</faultstring></soap:Fault></soap:Body></soap:Envelope>";
}

} // namespace quorvane::rated
