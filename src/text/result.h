// Results, not exceptions: a step gives its value or a short English sentence
// that the window shows unchanged.
#pragma once

#include <string>
#include <utility>
#include <variant>

struct Failure {
    std::string message;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : value_(std::in_place_index<1>, std::move(failure)) {}

    [[nodiscard]] bool ok() const { return value_.index() == 0; }
    [[nodiscard]] T& value() { return *std::get_if<0>(&value_); }
    [[nodiscard]] const T& value() const { return *std::get_if<0>(&value_); }
    [[nodiscard]] std::string& error() { return std::get_if<1>(&value_)->message; }
    [[nodiscard]] const std::string& error() const { return std::get_if<1>(&value_)->message; }

private:
    std::variant<T, Failure> value_;
};
