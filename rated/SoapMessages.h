// SoapMessages: the service side of the ConversionRate exchange, bytes in and bytes out, no sockets.
#pragma once

#include <string>
#include <string_view>

#include "rated/Result.h"
#include "service/ServiceNames.h"
#include "util/Currency.h"

namespace quorvane::rated {

// A SOAP 1.1 fault: code is one of the envelope namespace's codes (Client, Server, VersionMismatch,
// MustUnderstand), text the faultstring.
struct SoapFault {
    std::string code;
    std::string text;
};

struct ConversionRequest {
    Currency from;
    Currency to;
};

// Reads a ConversionRate request envelope. Any fault of the message comes back as a SoapFault.
Result<ConversionRequest, SoapFault> ReadConversionRequest(std::string_view body);

// The shortest decimal text with "." that reads back as exactly this double.
std::string RateText(double rate);

std::string WriteConversionResponse(double rate);
std::string WriteFault(const SoapFault& fault);

// The WSDL 1.1 description, the endpoint being `location`; documentation is put in the service's
// documentation element as text.
std::string WriteDescription(std::string_view location, std::string_view documentation);

} // namespace quorvane::rated
