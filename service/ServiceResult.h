// The one error model of the rate service client: a value, or an error with a readable reason.
#pragma once

#include <string>
#include <utility>

#include "util/Result.h"

namespace quorvane {

enum class ServiceErrorKind {
    UnknownCurrency, // an ordinal that names no Currency; nothing was sent
    NotInitialised,  // no proxy has been made
    Description,     // the service description could not be loaded or lacks what the call needs
    Network,         // connect, send or receive failed
    Timeout,         // a connect or total time-out ran out
    HttpStatus,      // status 300 or more, other than 500
    ContentType,     // text/plain or text/html
    Parse,           // the response is not well-formed XML
    NotEnvelope,     // well-formed, but not a SOAP 1.1 envelope
    Fault,           // the service answered with a SOAP fault
    NoResult,        // the response carries no result element
    NotANumber,      // the result text is not a number
};

struct ServiceError {
    ServiceError(ServiceErrorKind k, std::string text) : kind(k), message(std::move(text)) {}

    ServiceErrorKind kind;
    std::string message;
    int httpStatus = 0;
    std::string faultCode;   // with Fault
    std::string faultActor;  // with Fault
    std::string faultDetail; // the detail element as XML, with Fault
};

// "HTTP status 404: ..." style text for people (quorvanectl, logs).
std::string Describe(const ServiceError& error);

template <class T> using ServiceResult = Result<T, ServiceError>;

inline ServiceError MakeError(ServiceErrorKind kind, std::string message) {
    return ServiceError{kind, std::move(message)};
}

} // namespace quorvane
