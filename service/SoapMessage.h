// The ConversionRate messages as bytes: the request writer and the response reader (SOAP 1.1).
#pragma once

#include <string>
#include <string_view>

#include "service/ServiceNames.h"
#include "service/ServiceResult.h"

namespace quorvane {

// The request document, UTF-8 without a byte order mark: envelope with the SOAP-ENV, xsd and xsi
// prefixes, no header, and in the body <ConversionRate xmlns="bodyNamespace"> holding FromCurrency
// and ToCurrency in that order, without attributes. The codes are sent as given.
std::string WriteConversionRateRequest(std::string_view bodyNamespace, std::string_view fromCode,
                                       std::string_view toCode);

// Reads a response document into the rate. Fails on malformed XML, a root that is not a SOAP 1.1
// envelope, two headers or two bodies, a fault (faultstring as message), a missing result and a
// result text that is not a number.
ServiceResult<double> ReadConversionRateResponse(std::string_view bytes);

// A result text as a double, whatever the user's locale: blanks around it are ignored, "NaN", "INF"
// and "-INF" in any case are the IEEE values, anything else must be a decimal number with "."
// and an optional exponent. Empty text fails.
ServiceResult<double> ReadRateText(std::string_view text);

} // namespace quorvane
