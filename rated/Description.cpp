// The WSDL 1.1 description of the service, in the shape of the published CurrencyConvertor description.
#include "rated/SoapMessages.h"

#include "service/ServiceNames.h"
#include "util/Xml.h"

namespace quorvane::rated {

namespace {

void AppendTypes(std::string& out) {
    out += R"(<wsdl:types><s:schema elementFormDefault="qualified" targetNamespace=")";
    out += ServiceNamespace;
    out += R"(">)"
           R"(<s:element name="ConversionRate"><s:complexType><s:sequence>)"
           R"(<s:element minOccurs="1" maxOccurs="1" name="FromCurrency" type="tns:Currency"/>)"
           R"(<s:element minOccurs="1" maxOccurs="1" name="ToCurrency" type="tns:Currency"/>)"
           R"(</s:sequence></s:complexType></s:element>)"
           R"(<s:simpleType name="Currency"><s:restriction base="s:string">)";
    for (int i = 0; i < CurrencyCount; ++i) {
        out += R"(<s:enumeration value=")";
        out += CurrencyExternalName(static_cast<Currency>(i));
        out += R"("/>)";
    }
    out += R"(</s:restriction></s:simpleType>)"
           R"(<s:element name="ConversionRateResponse"><s:complexType><s:sequence>)"
           R"(<s:element minOccurs="1" maxOccurs="1" name="ConversionRateResult" type="s:double"/>)"
           R"(</s:sequence></s:complexType></s:element>)"
           R"(</s:schema></wsdl:types>)";
}

void AppendMessagesAndPortType(std::string& out) {
    out +=
        R"(<wsdl:message name="ConversionRateSoapIn"><wsdl:part name="parameters" element="tns:ConversionRate"/></wsdl:message>)"
        R"(<wsdl:message name="ConversionRateSoapOut"><wsdl:part name="parameters" element="tns:ConversionRateResponse"/></wsdl:message>)"
        R"(<wsdl:portType name="CurrencyConvertorSoap"><wsdl:operation name="ConversionRate">)"
        R"(<wsdl:documentation>Get conversion rate from one currency to another currency</wsdl:documentation>)"
        R"(<wsdl:input message="tns:ConversionRateSoapIn"/><wsdl:output message="tns:ConversionRateSoapOut"/>)"
        R"(</wsdl:operation></wsdl:portType>)";
}

void AppendBinding(std::string& out) {
    out += R"(<wsdl:binding name="CurrencyConvertorSoap" type="tns:CurrencyConvertorSoap">)"
           R"(<soap:binding transport="http://schemas.xmlsoap.org/soap/http"/>)"
           R"(<wsdl:operation name="ConversionRate"><soap:operation soapAction=")";
    out += ServiceNamespace;
    out += OperationName;
    out += R"(" style="document"/>)"
           R"(<wsdl:input><soap:body use="literal"/></wsdl:input>)"
           R"(<wsdl:output><soap:body use="literal"/></wsdl:output>)"
           R"(</wsdl:operation></wsdl:binding>)";
}

} // namespace

std::string WriteDescription(std::string_view location, std::string_view documentation) {
    std::string out;
    out.reserve(12000);
    out += R"(<?xml version="1.0" encoding="utf-8"?>)"
           R"(<wsdl:definitions xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/")"
           R"( xmlns:s="http://www.w3.org/2001/XMLSchema" xmlns:wsdl="http://schemas.xmlsoap.org/wsdl/")"
           R"( xmlns:tns=")";
    out += ServiceNamespace;
    out += R"(" targetNamespace=")";
    out += ServiceNamespace;
    out += R"(">)";
    AppendTypes(out);
    AppendMessagesAndPortType(out);
    AppendBinding(out);
    out += R"(<wsdl:service name=")";
    out += ServiceName;
    out += R"("><wsdl:documentation>)";
    out += xml::Escape(documentation);
    out += R"(</wsdl:documentation><wsdl:port name=")";
    out += PortName;
    out += R"(" binding="tns:CurrencyConvertorSoap"><soap:address location=")";
    out += xml::Escape(location);
    out += R"("/></wsdl:port></wsdl:service></wsdl:definitions>)";
    return out;
}

} // namespace quorvane::rated
