// Results, not exceptions: a step gives its value (Result<T>) or nothing
// (Status), or a short English sentence that the window shows unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>

struct Failure {
    std::string message;
    // The system's error code when the failure came from one, else 0; a
    // caller that must tell one system error from another reads it here.
    std::uint32_t os_error = 0;
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
    [[nodiscard]] std::uint32_t os_error() const { return std::get_if<1>(&value_)->os_error; }
    // Moves the failure out, to hand it on as it is.
    [[nodiscard]] Failure take_failure() { return std::move(*std::get_if<1>(&value_)); }

private:
    std::variant<T, Failure> value_;
};

// Success, or the sentence that says why not (error() only then). Success,
// the common case, is a null pointer: the failure lives on the heap.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Failure failure) : failure_(std::make_unique<Failure>(std::move(failure))) {}

    [[nodiscard]] bool ok() const { return !failure_; }
    [[nodiscard]] std::string& error() { return failure_->message; }
    [[nodiscard]] const std::string& error() const { return failure_->message; }
    [[nodiscard]] std::uint32_t os_error() const { return failure_ ? failure_->os_error : 0; }
    // Moves the failure out, to hand it on as it is.
    [[nodiscard]] Failure take_failure() { return std::move(*failure_); }

private:
    std::unique_ptr<Failure> failure_;
};
