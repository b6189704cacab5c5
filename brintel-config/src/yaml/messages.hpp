// Every text that reading and writing YAML put into a message: the fixed
// texts, the templates with their builders, and the words that say what was
// found and what was expected. Callers compare these texts byte for byte, so
// each is spelled here and nowhere else.
#pragma once

#include "errors/escape.hpp"
#include "schema/records.hpp"
#include "yaml/document.hpp"
#include "yaml/path.hpp"
#include "yaml/scalar.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brintel::yaml::message {

// ---------------------------------------------------------------------------
// Fixed texts

inline constexpr std::string_view end_of_input = "EOF while parsing a value";
inline constexpr std::string_view more_than_one_document =
    "deserializing from YAML containing more than one document is not supported";
inline constexpr std::string_view repetition_limit = "repetition limit exceeded";
inline constexpr std::string_view unknown_anchor = "unknown anchor";
inline constexpr std::string_view unknown_parse_problem = "unknown problem";  // the parser named none
inline constexpr std::string_view emitter_failed = "failed to write YAML";   // the emitter named nothing
inline constexpr std::string_view scalar_too_long = "scalar too long to write";

// ---------------------------------------------------------------------------
// What was found: the <found> of "invalid type: <found>, expected ..."

inline constexpr std::string_view found_map = "map";
inline constexpr std::string_view found_sequence = "sequence";
inline constexpr std::string_view found_unit = "unit value";
inline constexpr std::string_view found_end_of_collection = "end of collection";

inline std::string found_boolean(bool value) { return value ? "boolean `true`" : "boolean `false`"; }

inline std::string found_integer(const DecimalInteger& value) {
    std::string out = "integer `" + value.digits + "`";
    if (value.beyond_64_bits) out += value.digits.starts_with('-') ? " as i128" : " as u128";
    return out;
}

inline std::string found_float(double value) { return "floating point `" + format_float(value) + "`"; }

inline std::string found_string(std::string_view text) { return "string " + errors::quote_escaped(text); }

// ---------------------------------------------------------------------------
// What was expected: the <expected> of "..., expected <expected>"

inline constexpr std::string_view expected_key = "field identifier";
inline constexpr std::string_view expected_null = "null";
inline constexpr std::string_view expected_integer = "an integer";  // a scalar tagged !!int
inline constexpr std::string_view expected_float = "a float";       // a scalar tagged !!float

// The name of a value kind; a map of any kind, the document itself
// included, is "a map".
constexpr std::string_view expected_name(schema::ValueKind kind) {
    switch (kind) {
    case schema::ValueKind::String: return "a string";
    case schema::ValueKind::Boolean: return "a boolean";
    case schema::ValueKind::U16: return "u16";
    case schema::ValueKind::U32: return "u32";
    case schema::ValueKind::U64: return "u64";
    case schema::ValueKind::USize: return "usize";
    case schema::ValueKind::ReaderMap: return "a map";
    case schema::ValueKind::Record: break;  // see expected_record
    }
    return "";
}

inline std::string expected_record(std::string_view record_name) { return "struct " + std::string(record_name); }

// ---------------------------------------------------------------------------
// Templates

inline std::string invalid_type(std::string_view found, std::string_view expected) {
    return "invalid type: " + std::string(found) + ", expected " + std::string(expected);
}

inline std::string invalid_value(std::string_view found, std::string_view expected) {
    return "invalid value: " + std::string(found) + ", expected " + std::string(expected);
}

inline std::string missing_field(std::string_view name) { return "missing field `" + std::string(name) + "`"; }

inline std::string duplicate_field(std::string_view name) {
    return "duplicate field `" + std::string(name) + "`";
}

// A manifest beyond max_manifest_bytes, which is a whole number of MiB.
inline std::string too_large() {
    return "manifest larger than " + std::to_string(max_manifest_bytes >> 20) + " MiB";
}

inline std::string nesting_too_deep(std::size_t levels) {
    return "nesting deeper than " + std::to_string(levels) + " levels";
}

// "line L column C" from 0-based counters, as people count.
inline std::string position(std::uint64_t line, std::uint64_t column) {
    return "line " + std::to_string(line + 1) + " column " + std::to_string(column + 1);
}

// " at line L column C"; nothing at line 1 column 1.
inline std::string position_suffix(std::uint64_t line, std::uint64_t column) {
    if (line == 0 && column == 0) return {};
    return " at " + position(line, column);
}

// Where the parser gives a byte offset only.
inline std::string offset_suffix(std::uint64_t offset) { return " at position " + std::to_string(offset); }

// The text of a path as refusals show it: none at the document's root (an
// empty key below it has an empty text).
inline std::optional<std::string> path_text(const Path& path) {
    if (path.is_root()) return std::nullopt;
    return path.text();
}

// A refusal at a value: "<path>: <message><position>", the path and its
// ": " left out at the document's root.
inline std::string at_value(const std::optional<std::string>& path_text, std::string_view message,
                            std::string_view position) {
    std::string out = path_text ? *path_text + ": " : std::string();
    out.append(message).append(position);
    return out;
}

// The parser's problem and, when it gave one, the context it was in.
inline std::string parse_problem(std::string_view problem, std::string_view problem_position,
                                 std::string_view context, std::string_view context_position) {
    std::string out = std::string(problem) + std::string(problem_position);
    if (!context.empty()) out.append(", ").append(context).append(context_position);
    return out;
}

}  // namespace brintel::yaml::message
