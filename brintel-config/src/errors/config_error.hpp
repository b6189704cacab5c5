// The one error type of the configuration library.
//
// Library operations return a value or a ConfigError; only the Python layer
// turns a ConfigError into an exception, through its display text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace brintel::errors {

// Which part of a reader record a validation finding concerns.
struct Where {
    enum class Case : std::uint8_t { All, Field };
    Case which = Case::All;
    std::string field;  // with Case::Field

    static Where all() { return {}; }
    static Where named(std::string name) { return {Case::Field, std::move(name)}; }
    bool operator==(const Where&) const = default;
};

// What is wrong.
struct ErrorType {
    enum class Case : std::uint8_t { RequiredMissing, Invalid };
    Case which = Case::RequiredMissing;
    std::string reason;  // with Case::Invalid

    static ErrorType required_missing() { return {}; }
    static ErrorType invalid(std::string reason) { return {Case::Invalid, std::move(reason)}; }
    bool operator==(const ErrorType&) const = default;
};

struct ValidationError {
    Where field;
    ErrorType error_type;
    bool operator==(const ValidationError&) const = default;
};

// Declared in the order of their display prefixes.
enum class ErrorKind : std::uint8_t {
    MissingConfig,
    InvalidValue,
    FileNotFound,
    ConfigBuilder,
    Serialization,
    ValidationErrors,
    FileWrite,
};

class ConfigError {
public:
    // For every kind that carries a text.
    ConfigError(ErrorKind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
    static ConfigError validation(std::vector<ValidationError> findings) {
        ConfigError error(ErrorKind::ValidationErrors, {});
        error.findings_ = std::move(findings);
        return error;
    }

    ErrorKind kind() const { return kind_; }
    const std::string& text() const { return text_; }  // for every kind but ValidationErrors
    const std::vector<ValidationError>& findings() const { return findings_; }

    // The error's only text form: its kind's prefix, then the payload.
    std::string display() const;

    bool operator==(const ConfigError&) const = default;

private:
    ErrorKind kind_;
    std::string text_;
    std::vector<ValidationError> findings_;
};

// A value of type T, or the ConfigError that prevented it.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(ConfigError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    const ConfigError& error() const { return std::get<1>(state_); }
    ConfigError& error() { return std::get<1>(state_); }

private:
    std::variant<T, ConfigError> state_;
};

// The outcome of an operation that yields nothing but success.
using Status = Result<std::monostate>;
inline Status success() { return Status(std::monostate{}); }

}  // namespace brintel::errors
