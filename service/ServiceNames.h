// The names and addresses the rate service client and the local rate service (quorvane-rated) share.
// Header only: quorvane-rated uses these without linking the client.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorvane {

// The namespace of the published CurrencyConvertor description, so that its documents and ours agree.
inline constexpr std::string_view ServiceNamespace = "http://www.webserviceX.NET/";
inline constexpr std::string_view ServiceName = "CurrencyConvertor";
inline constexpr std::string_view PortName = "CurrencyConvertorSoap";
inline constexpr std::string_view OperationName = "ConversionRate";

inline constexpr std::string_view SoapEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view Soap12EnvelopeNamespace = "http://www.w3.org/2003/05/soap-envelope";

// GET ENDPOINT?rates=USD-JPY,EUR-USD: the local rate service's JSON answer with each pair's rate, source
// and as-of time, beside the SOAP exchange (which stays as other clients know it).
inline constexpr std::string_view RateInfoParameter = "rates";
inline constexpr std::size_t MaxRateInfoPairs = 64;

// Where the local rate service (quorvane-rated) listens by default.
inline constexpr int DefaultServicePort = 47210;
inline constexpr std::string_view ServiceDescriptionAddress =
    "http://127.0.0.1:47210/CurrencyConvertor.asmx?wsdl";
inline constexpr std::string_view ServiceEndpointAddress = "http://127.0.0.1:47210/CurrencyConvertor.asmx";

} // namespace quorvane
