// Every text the check command puts into a finding of its own; the texts of
// reading and validation come from the library unchanged.
#pragma once

#include "errors/escape.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace brintel::cli::text {

inline constexpr std::string_view error = "error";
inline constexpr std::string_view warning = "warning";

// Keeps a finding on one line even for keys and ids that hold line breaks.
inline std::string printable(std::string_view key) {
    const bool has_control = std::ranges::any_of(
        key, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    return has_control ? errors::quote_escaped(key) : std::string(key);
}

// Where an unknown key stands: "reader <id>", or the record's key.
inline std::string in_reader(std::string_view id) { return "reader " + printable(id); }

inline std::string unknown_key(std::string_view key, std::string_view where,
                               std::optional<std::string_view> suggestion) {
    std::string out = "unknown key `" + printable(key) + "` in " + std::string(where);
    if (suggestion) out.append("; did you mean `").append(*suggestion).append("`?");
    return out;
}

// A validation finding: "readers_config.<id>.<field>: <reason>".
inline std::string reader_finding(std::string_view readers_key, std::string_view id, std::string_view field,
                                  std::string_view reason) {
    return std::string(readers_key) + "." + printable(id) + "." + std::string(field) + ": " + std::string(reason);
}

}  // namespace brintel::cli::text
