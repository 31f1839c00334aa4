// Result: a value or a readable error, the one error model of the rate service.
#pragma once

#include <string>

#include "util/Result.h"

namespace quorvane::rated {

struct Error {
    std::string text;
};

template <class T, class E = Error> using Result = quorvane::Result<T, E>;

} // namespace quorvane::rated
