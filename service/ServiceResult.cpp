#include "service/ServiceResult.h"

namespace quorvane {

std::string Describe(const ServiceError& error) {
    switch (error.kind) {
    case ServiceErrorKind::UnknownCurrency:
        return "unknown currency: " + error.message;
    case ServiceErrorKind::NotInitialised:
        return error.message;
    case ServiceErrorKind::Description:
        return "service description: " + error.message;
    case ServiceErrorKind::Network:
        return "network: " + error.message;
    case ServiceErrorKind::Timeout:
        return error.message;
    case ServiceErrorKind::HttpStatus:
        return error.message;
    case ServiceErrorKind::ContentType:
        return "refused content type: " + error.message;
    case ServiceErrorKind::Parse:
        return "malformed response: " + error.message;
    case ServiceErrorKind::NotEnvelope:
        return "not a SOAP envelope: " + error.message;
    case ServiceErrorKind::Fault: {
        std::string text = "SOAP fault: " + error.message;
        if (!error.faultCode.empty())
            text += " (" + error.faultCode + ")";
        return text;
    }
    case ServiceErrorKind::NoResult:
        return "no rate in the response: " + error.message;
    case ServiceErrorKind::NotANumber:
        return "not a number: " + error.message;
    }
    return error.message;
}

} // namespace quorvane
