// Every text that reading a manifest, picking a reader out of it and writing
// it back put into an error of their own; the YAML layer's texts are in
// yaml/messages.hpp. Callers compare them byte for byte, so each is spelled
// here and nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace brintel::schema::message {

inline constexpr std::string_view no_product_key = "No brintel key found in manifest";

inline std::string no_reader(std::string_view reader_id) {
    return "No reader with id " + std::string(reader_id) + " found in manifest.yaml";
}

// A write that made no progress and reported no error.
inline constexpr std::string_view write_incomplete = "failed to write whole buffer";

// The system's description of an error number and the number itself,
// "No locks available (os error 37)".
inline std::string os_error(std::string_view description, int code) {
    return std::string(description) + " (os error " + std::to_string(code) + ")";
}

// Why a manifest's text cannot be had, for people (the linter shows them;
// reading reports the path only).
inline constexpr std::string_view name_with_nul = "the file name holds a NUL byte";
inline constexpr std::string_view not_a_file = "not a regular file";
inline constexpr std::string_view invalid_utf8 = "invalid UTF-8";

}  // namespace brintel::schema::message
