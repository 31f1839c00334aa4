#include "service/CurrencyConvertor.h"
#include "util/FileRead.h"
#include "util/Text.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <sstream>

#include "service/HttpTransport.h"
#include "service/ServiceDescription.h"
#include "service/SoapMessage.h"

namespace quorvane {

namespace {

bool HasControlCharacter(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

// Statuses from 300 up fail, except 500, which carries SOAP faults.
bool IsFailedStatus(long status) {
    return status >= 300 && status != 500;
}

ServiceError StatusError(long status, std::string_view what) {
    ServiceError error{ServiceErrorKind::HttpStatus,
                       std::string(what) + " answered with HTTP status " + std::to_string(status)};
    error.httpStatus = static_cast<int>(status);
    return error;
}

ServiceResult<std::string> ReadLocalFile(std::string path) {
    if (StartsWithIgnoringAsciiCase(path, "file://"))
        path.erase(0, 7);
    FileBytes file = ReadFileBounded(path, HttpTransport::MaxBodyBytes);
    if (file.error == EFBIG)
        return MakeError(ServiceErrorKind::Description, "description file too large: " + path);
    if (file.error != 0)
        return MakeError(ServiceErrorKind::Description,
                         "cannot read the description file " + path + ": " + std::strerror(file.error));
    return std::move(file.bytes);
}

// One result per pair: an error for a pair with an ordinal that names no Currency, a placeholder for
// the others, whose positions go to sent.
std::vector<ServiceResult<double>> CheckPairs(const std::vector<CurrencyPair>& pairs,
                                              std::vector<std::size_t>& sent) {
    std::vector<ServiceResult<double>> rates;
    rates.reserve(pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const auto [from, to] = pairs[i];
        if (IsCurrency(from) && IsCurrency(to)) {
            rates.emplace_back(MakeError(ServiceErrorKind::Network, "not sent"));
            sent.push_back(i);
        } else {
            rates.emplace_back(MakeError(ServiceErrorKind::UnknownCurrency,
                                         "currency ordinal " +
                                             std::to_string(IsCurrency(from) ? int(to) : int(from)) +
                                             " names no currency"));
        }
    }
    return rates;
}

class CurrencyConvertorProxy final : public CurrencyConvertorSoap {
public:
    CurrencyConvertorProxy(bool useDescription, std::string address, std::shared_ptr<HttpTransport> transport)
        : useDescription_(useDescription), address_(std::move(address)), transport_(std::move(transport)) {}

    ServiceResult<double> ConversionRate(Currency from, Currency to) override {
        return std::move(ConversionRates({CurrencyPair{from, to}}).front());
    }

    std::vector<ServiceResult<double>> ConversionRates(const std::vector<CurrencyPair>& pairs) override {
        std::vector<std::size_t> sent; // positions in pairs of the requests posted
        std::vector<ServiceResult<double>> rates = CheckPairs(pairs, sent);
        if (sent.empty())
            return rates;

        std::lock_guard lock(mutex_);
        auto target = Target();
        if (!target) {
            for (std::size_t i : sent)
                rates[i] = target.error();
            return rates;
        }
        const OperationBinding& binding = target.value();
        const std::string action = binding.soapAction.empty() ? DefaultSoapAction() : binding.soapAction;
        const std::string_view bodyNamespace =
            binding.bodyNamespace.empty() ? ServiceNamespace : std::string_view(binding.bodyNamespace);
        std::vector<HttpPost> posts;
        posts.reserve(sent.size());
        for (std::size_t i : sent)
            posts.push_back({binding.endpoint,
                             {"SOAPAction: \"" + action + "\"", "Content-Type: text/xml"},
                             WriteConversionRateRequest(bodyNamespace, CurrencyExternalName(pairs[i].from),
                                                        CurrencyExternalName(pairs[i].to))});

        auto responses = transport_->PostAll(posts);
        for (std::size_t k = 0; k < sent.size(); ++k) {
            if (!responses[k]) {
                ServiceError error = responses[k].error();
                error.message = "rate service " + binding.endpoint + ": " + error.message;
                rates[sent[k]] = std::move(error);
            } else {
                rates[sent[k]] = ReadResponse(responses[k].value());
            }
        }
        return rates;
    }

private:
    // Where and how the requests go: from the description, loaded first when not yet held.
    ServiceResult<OperationBinding> Target() {
        auto binding = ResolveBinding();
        if (!binding)
            return binding;
        const OperationBinding& target = binding.value();
        if (!IsHttpAddress(target.endpoint))
            return MakeError(ServiceErrorKind::Description,
                             "endpoint " + target.endpoint + " is neither http nor https");
        if (HasControlCharacter(target.endpoint) || HasControlCharacter(target.soapAction))
            return MakeError(ServiceErrorKind::Description,
                             "control characters in the endpoint or SOAP action");
        return binding;
    }

    ServiceResult<OperationBinding> ResolveBinding() {
        if (!useDescription_)
            return OperationBinding{address_, {}, {}, false};
        if (binding_)
            return *binding_;
        if (!description_) {
            auto loaded = ServiceDescription::Load(
                std::string(TrimBlanks(address_)), [this](const std::string& address) { return LoadDocument(address); });
            if (!loaded)
                return loaded.error();
            description_.emplace(std::move(loaded).value());
        }
        // The kept description never changes, so what it once resolved to holds for every later call.
        auto resolved = description_->Resolve(ServiceName, PortName, OperationName);
        if (resolved)
            binding_ = resolved.value();
        return resolved;
    }

    ServiceResult<std::string> LoadDocument(const std::string& address) {
        if (!IsHttpAddress(address)) {
            auto bytes = ReadLocalFile(address);
            if (bytes && bytes.value().empty())
                return MakeError(ServiceErrorKind::Description,
                                 "the description file " + address + " is empty");
            return bytes;
        }
        auto response = transport_->Get(address);
        if (!response) {
            ServiceError error = response.error();
            error.message = "description " + address + ": " + error.message;
            return error;
        }
        if (IsFailedStatus(response.value().status))
            return StatusError(response.value().status, "description " + address);
        if (response.value().body.empty())
            return MakeError(ServiceErrorKind::Description, "description " + address + " is empty");
        return std::move(response.value().body);
    }

    // Called once all the exchanges of a call have ended, so closing drops only idle connections.
    ServiceResult<double> ReadResponse(const HttpResponse& response) {
        // A failed status or content type ends the exchange: the connection is not trusted further.
        if (IsFailedStatus(response.status)) {
            transport_->Close();
            return StatusError(response.status, "the rate service");
        }
        const std::string type(TrimBlanks(response.contentType));
        if (EqualsIgnoringAsciiCase(type, "text/plain") || EqualsIgnoringAsciiCase(type, "text/html")) {
            transport_->Close();
            return MakeError(ServiceErrorKind::ContentType, "the rate service answered with " + type);
        }
        return ReadConversionRateResponse(response.body);
    }

    const bool useDescription_;
    const std::string address_;
    const std::shared_ptr<HttpTransport> transport_;
    std::optional<ServiceDescription> description_;
    std::optional<OperationBinding> binding_;
    std::mutex mutex_;
};

} // namespace

std::string DefaultSoapAction() {
    return std::string(ServiceNamespace) + std::string(OperationName);
}

std::shared_ptr<CurrencyConvertorSoap>
CreateCurrencyConvertorProxy(bool useServiceDescription, std::string address,
                             std::shared_ptr<HttpTransport> transport) {
    if (address.empty())
        address = useServiceDescription ? ServiceDescriptionAddress : ServiceEndpointAddress;
    if (!transport)
        transport = std::make_shared<HttpTransport>();
    return std::make_shared<CurrencyConvertorProxy>(useServiceDescription, std::move(address),
                                                    std::move(transport));
}

} // namespace quorvane
