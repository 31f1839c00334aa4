#include "service/WebService.h"

namespace quorvane {

std::shared_ptr<CurrencyConvertorSoap> RateService;

bool InitRateService(const std::string& descriptionAddress) {
    try {
        auto proxy = CreateCurrencyConvertorProxy(true, descriptionAddress, nullptr);
        if (!proxy)
            return false;
        RateService = std::move(proxy);
        return true;
    } catch (...) {
        return false;
    }
}

ServiceResult<double> RequestConversionRate(Currency from, Currency to) {
    try {
        if (!IsCurrency(from) || !IsCurrency(to))
            return MakeError(ServiceErrorKind::UnknownCurrency, "a currency code of the pair is unknown");
        const std::shared_ptr<CurrencyConvertorSoap> proxy = RateService;
        if (!proxy)
            return MakeError(ServiceErrorKind::NotInitialised, "the rate service has not been set up");
        return proxy->ConversionRate(from, to);
    } catch (const std::exception& e) {
        return MakeError(ServiceErrorKind::Network, e.what());
    } catch (...) {
        return MakeError(ServiceErrorKind::Network, "unexpected failure");
    }
}

double GetConversionRate(Currency from, Currency to) {
    try {
        const auto rate = RequestConversionRate(from, to);
        return rate ? rate.value() : 0.0;
    } catch (...) {
        return 0.0;
    }
}

} // namespace quorvane
