// Every text the check command puts into a finding of its own; the texts of
// reading and validation come from the library unchanged. Keys and ids go
// in as they are: the text form escapes what would break its lines.
#pragma once

#include "yaml/document.hpp"
#include "yaml/messages.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace brintel::cli::text {

inline constexpr std::string_view merge_key = "<<";

// A 0-based position as people count it: "line 4 column 5".
inline std::string position(yaml::Mark mark) { return yaml::message::position(mark.line, mark.column); }

// " in <path>", nothing at the document's root.
inline std::string in(const std::optional<std::string>& path) { return path ? " in " + *path : std::string(); }

inline std::string unknown_key(std::string_view key, const std::optional<std::string>& where,
                               std::optional<std::string_view> suggestion) {
    std::string out = "unknown key `" + std::string(key) + "`" + in(where);
    if (suggestion) out.append("; did you mean `").append(*suggestion).append("`?");
    return out;
}

// What reading makes of a key given twice, by the kind of mapping.
inline constexpr std::string_view last_entry_read = ": reading keeps only the last one";

inline std::string duplicate_key(std::string_view key, const std::optional<std::string>& where, yaml::Mark first,
                                 std::string_view consequence) {
    return "duplicate key `" + std::string(key) + "`" + in(where) + ", first at " + position(first) +
           std::string(consequence);
}

// In a value that no setting takes: "in the value of <path>".
inline std::optional<std::string> value_of(const std::optional<std::string>& path) {
    return "the value of " + path.value_or(".");
}

// What reading makes of a merge key where it stands.
inline constexpr std::string_view merge_ignored = "reading ignores it and the settings it names";
inline constexpr std::string_view merge_as_reader = "reading takes it for a reader with the id `<<`";
inline constexpr std::string_view merge_as_entry = "reading takes it for a top-level entry named `<<`";

inline std::string merge_key_unapplied(const std::optional<std::string>& where, std::string_view consequence) {
    return "merge key `<<`" + in(where) + " is not applied: " + std::string(consequence);
}

// A finding at a path: "brintel.readers_config.r1.device: <reason>".
inline std::string at_path(const std::optional<std::string>& path, std::string_view reason) {
    return yaml::message::at_value(path, reason, {});
}

// The missing product key, at a top-level key that stands for it.
inline std::string product_key_misspelt(std::string_view missing, std::string_view key, std::string_view product) {
    return std::string(missing) + "; did you mean `" + std::string(product) + "` for `" + std::string(key) + "`?";
}

// Said after the findings in entries that reading does not take.
inline std::string dropped_for_later(yaml::Mark later) {
    return " (reading drops this entry for the later one at " + position(later) + ")";
}
inline std::string taken_for_product(std::string_view key, std::string_view product) {
    return " (in `" + std::string(key) + "`, checked as if it were `" + std::string(product) + "`)";
}

inline std::string unreadable(std::string_view reason) { return "cannot read the manifest: " + std::string(reason); }

}  // namespace brintel::cli::text
