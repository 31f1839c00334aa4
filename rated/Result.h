// Result: a value or a readable error, the one error model of the rate service.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace quorvane::rated {

struct Error {
    std::string text;
};

template <class T, class E = Error> class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    const T& value() const { return std::get<0>(state_); }
    T& value() { return std::get<0>(state_); }
    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

} // namespace quorvane::rated
