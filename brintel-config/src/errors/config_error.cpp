#include "errors/config_error.hpp"

#include "errors/escape.hpp"

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

void append_finding_part(std::string& out, const Where& where) {
    if (where.which == Where::Case::All) {
        out += "All";
        return;
    }
    out += "Field(";
    out += quote_escaped(where.field);
    out += ')';
}

void append_finding_part(std::string& out, const ErrorType& error_type) {
    if (error_type.which == ErrorType::Case::RequiredMissing) {
        out += "RequiredMissing";
        return;
    }
    out += "Invalid(";
    out += quote_escaped(error_type.reason);
    out += ')';
}

// The list as the display text of ValidationErrors shows it:
// [ValidationError { field: ..., error_type: ... }, ...].
std::string findings_text(const std::vector<ValidationError>& findings) {
    std::string out = "[";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        if (i > 0) out += ", ";
        out += "ValidationError { field: ";
        append_finding_part(out, findings[i].field);
        out += ", error_type: ";
        append_finding_part(out, findings[i].error_type);
        out += " }";
    }
    out += ']';
    return out;
}

}  // namespace

std::string ConfigError::display() const {
    std::string out(prefix(kind_));
    out += kind_ == ErrorKind::ValidationErrors ? findings_text(findings_) : text_;
    return out;
}

}  // namespace brintel::errors
