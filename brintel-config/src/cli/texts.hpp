// Every text the check command puts into a finding of its own; the texts of
// reading and validation come from the library unchanged.
#pragma once

#include "errors/escape.hpp"
#include "yaml/document.hpp"
#include "yaml/messages.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace brintel::cli::text {

inline constexpr std::string_view merge_key = "<<";

// Keeps a finding on one line even for keys and ids that hold line breaks.
inline std::string printable(std::string_view key) {
    const bool has_control = std::ranges::any_of(
        key, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    return has_control ? errors::quote_escaped(key) : std::string(key);
}

// A 0-based position as people count it: "line 4 column 5".
inline std::string position(yaml::Mark mark) { return yaml::message::position(mark.line, mark.column); }

// Where a key stands: "reader <id>", or the record's key.
inline std::string in_reader(std::string_view id) { return "reader " + printable(id); }

inline std::string unknown_key(std::string_view key, std::string_view where,
                               std::optional<std::string_view> suggestion) {
    std::string out = "unknown key `" + printable(key) + "` in " + std::string(where);
    if (suggestion) out.append("; did you mean `").append(*suggestion).append("`?");
    return out;
}

// `where` is empty at the top level.
inline std::string duplicate_key(std::string_view key, std::string_view where, yaml::Mark first) {
    std::string out = "duplicate key `" + printable(key) + "`";
    if (!where.empty()) out.append(" in ").append(where);
    return out + ", first at " + position(first) + ": reading keeps only this later entry";
}

// What reading makes of a merge key where it stands.
inline constexpr std::string_view merge_ignored = "reading ignores it and the settings it names";
inline constexpr std::string_view merge_as_reader = "reading takes it for a reader with the id `<<`";
inline constexpr std::string_view merge_as_entry = "reading takes it for a top-level entry named `<<`";

// `where` is empty at the top level.
inline std::string merge_key_unapplied(std::string_view where, std::string_view consequence) {
    std::string out = "merge key `<<`";
    if (!where.empty()) out.append(" in ").append(where);
    return out.append(" is not applied: ").append(consequence);
}

// A validation finding: "readers_config.<id>.<field>: <reason>", without
// the field for a finding about the whole reader.
inline std::string reader_finding(std::string_view readers_key, std::string_view id,
                                  std::optional<std::string_view> field, std::string_view reason) {
    std::string out = std::string(readers_key) + "." + printable(id);
    if (field) out.append(".").append(*field);
    return out.append(": ").append(reason);
}

inline std::string unreadable(std::string_view reason) { return "cannot read the manifest: " + std::string(reason); }

}  // namespace brintel::cli::text
