#include "config_error.hpp"

#include "escape.hpp"

#include <string_view>

namespace brintel::errors {
namespace {

std::string_view prefix(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::MissingConfig: return "Missing Config: ";
    case ErrorKind::InvalidValue: return "Invalid Value: ";
    case ErrorKind::FileNotFound: return "File Not Found on path: ";
    case ErrorKind::ConfigBuilder: return "Error with Config Builder: ";
    case ErrorKind::Serialization: return "Error Error Serializing/Deserializing:: ";
    case ErrorKind::ValidationErrors: return "Validation Errors: ";
    case ErrorKind::FileWrite: return "Error Writing to file: ";
    }
    return "";
}

void append_debug(std::string& out, const Where& where) {
    if (where.which == Where::Case::All) {
        out += "All";
        return;
    }
    out += "Field(";
    out += debug_quoted(where.field);
    out += ')';
}

void append_debug(std::string& out, const ErrorType& error_type) {
    if (error_type.which == ErrorType::Case::RequiredMissing) {
        out += "RequiredMissing";
        return;
    }
    out += "Invalid(";
    out += debug_quoted(error_type.reason);
    out += ')';
}

}  // namespace

std::string debug_form(const std::vector<ValidationError>& findings) {
    std::string out = "[";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        if (i > 0) out += ", ";
        out += "ValidationError { field: ";
        append_debug(out, findings[i].field);
        out += ", error_type: ";
        append_debug(out, findings[i].error_type);
        out += " }";
    }
    out += ']';
    return out;
}

std::string ConfigError::display() const {
    std::string out(prefix(kind_));
    out += kind_ == ErrorKind::ValidationErrors ? debug_form(findings_) : text_;
    return out;
}

}  // namespace brintel::errors
