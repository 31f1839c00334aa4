// The European Central Bank's daily reference rates as a Source.
#include "rated/Source.h"

namespace quorvane::rated {

namespace {

class EcbSource final : public Source {
public:
    explicit EcbSource(std::string address) : address_(std::move(address)) {}
    RateOrigin Origin() const override { return RateOrigin::Ecb; }

    Result<FetchedRates> Fetch(Currency base, const std::atomic<bool>* cancel) override {
        if (base != EUR)
            return Error{"the ECB reference rates are against the euro only"};
        auto bytes = ReadRatesSource(address_, cancel);
        if (!bytes)
            return bytes.error();
        auto rates = ParseEcbRates(bytes.value());
        if (!rates)
            return Error{address_ + ": " + rates.error().text};
        return FetchedRates{std::move(rates.value()), std::move(bytes.value())};
    }

private:
    std::string address_;
};

} // namespace

std::unique_ptr<Source> MakeEcbSource(std::string address) {
    return std::make_unique<EcbSource>(std::move(address));
}

} // namespace quorvane::rated
