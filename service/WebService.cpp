#include "service/WebService.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace quorvane {

std::shared_ptr<CurrencyConvertorSoap> RateService;

namespace {

// The description address of the kept proxy, for the rate-information answer beside it; a cycle may read
// it on another thread than the one that changes the service.
std::mutex addressMutex;
std::string rateServiceAddress;
bool rateServiceSet = false;

void KeepServiceAddress(const std::string& address, bool set) {
    const std::lock_guard lock(addressMutex);
    rateServiceAddress = address;
    rateServiceSet = set;
}

} // namespace

bool InitRateService(const std::string& descriptionAddress) {
    try {
        auto proxy = CreateCurrencyConvertorProxy(true, descriptionAddress, nullptr);
        if (!proxy)
            return false;
        RateService = std::move(proxy);
        KeepServiceAddress(descriptionAddress, true);
        return true;
    } catch (...) {
        return false;
    }
}

bool UseServiceDescription(const std::string& address) {
    if (InitRateService(address))
        return true;
    RateService.reset(); // the old address must not go on answering for the new one
    KeepServiceAddress({}, false);
    return false;
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

std::vector<ServiceResult<double>> RequestConversionRates(const std::vector<CurrencyPair>& pairs) {
    const auto everyOne = [&pairs](const ServiceError& error) {
        return std::vector<ServiceResult<double>>(pairs.size(), ServiceResult<double>(error));
    };
    try {
        const std::shared_ptr<CurrencyConvertorSoap> proxy = RateService;
        if (!proxy)
            return everyOne(
                MakeError(ServiceErrorKind::NotInitialised, "the rate service has not been set up"));
        return proxy->ConversionRates(pairs);
    } catch (const std::exception& e) {
        return everyOne(MakeError(ServiceErrorKind::Network, e.what()));
    } catch (...) {
        return everyOne(MakeError(ServiceErrorKind::Network, "unexpected failure"));
    }
}

ServiceResult<std::vector<RateInfo>> RequestRateInfo(const std::vector<CurrencyPair>& pairs) {
    std::string address;
    {
        const std::lock_guard lock(addressMutex);
        if (!rateServiceSet)
            return MakeError(ServiceErrorKind::NotInitialised, "the rate service has not been set up");
        address = rateServiceAddress;
    }
    try {
        return GetRateInfo(pairs, address);
    } catch (...) {
        return MakeError(ServiceErrorKind::Network, "unexpected failure");
    }
}

std::vector<double> GetConversionRates(const std::vector<CurrencyPair>& pairs) {
    std::vector<double> rates(pairs.size(), 0.0);
    try {
        const auto results = RequestConversionRates(pairs);
        for (std::size_t i = 0; i < results.size() && i < rates.size(); ++i)
            if (results[i] && std::isfinite(results[i].value()))
                rates[i] = results[i].value();
    } catch (...) {
        std::fill(rates.begin(), rates.end(), 0.0);
    }
    return rates;
}

} // namespace quorvane
