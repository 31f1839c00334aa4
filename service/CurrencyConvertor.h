// CurrencyConvertor: the registration data of the rate service interface.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "service/ServiceNames.h"
#include "service/ServiceResult.h"
#include "util/Currency.h"

namespace quorvane {

class HttpTransport;

struct CurrencyPair {
    Currency from;
    Currency to;
};

// The action sent when the description names none.
std::string DefaultSoapAction();

// The CurrencyConvertor service interface: one operation.
class CurrencyConvertorSoap {
public:
    virtual ~CurrencyConvertorSoap() = default;

    // The rate from one currency to the other. Blocks for the HTTP exchange, and on the first call
    // (and after a failed one that had no description yet) for the description download as well.
    // An ordinal that names no Currency fails before anything is sent. Failures come back as errors;
    // only memory exhaustion throws.
    virtual ServiceResult<double> ConversionRate(Currency from, Currency to) = 0;

    // The rates of several pairs, results in the order of pairs: after the description (fetched
    // first, as by ConversionRate), the requests go out together on the same kept connections and
    // are awaited together, the whole wait bounded by the total time-out of one exchange. A pair
    // with an ordinal that names no Currency fails alone, unsent.
    virtual std::vector<ServiceResult<double>> ConversionRates(const std::vector<CurrencyPair>& pairs) = 0;
};

// Makes a proxy; sends nothing. With useServiceDescription the address is that of the description
// (empty: ServiceDescriptionAddress), and endpoint, SOAP action and body namespace come from it;
// otherwise the address is the endpoint itself (empty: ServiceEndpointAddress). Without a transport a
// new one with the default time-outs is made and owned by the proxy. Throws only std::bad_alloc.
std::shared_ptr<CurrencyConvertorSoap>
CreateCurrencyConvertorProxy(bool useServiceDescription, std::string address = {},
                             std::shared_ptr<HttpTransport> transport = {});

} // namespace quorvane
