// Manifest files at the level of the operating system: opening only what is
// a file, reading it whole with a bound, writing a buffer completely.
#pragma once

#include "errors/config_error.hpp"
#include "schema/manifest/descriptor.hpp"
#include "schema/manifest/waiting.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brintel::schema {

// The system's description of an error number, "No locks available".
std::string system_reason(int code);

// The same and the number itself, "No locks available (os error 37)".
std::string os_error(int code);

// What may stand at a manifest path besides a regular file. A reader may be
// fed through a pipe; an update only ever replaces a regular file.
enum class Accept { RegularFile, RegularFileOrPipe };

// A manifest opened for reading, or why it could not be, for people.
struct OpenFile {
    Descriptor file;
    struct stat info {};
    std::string failure{};  // empty when `file` is open
};

// Opens `path` for reading without blocking on what is not a file: devices,
// sockets and directories are refused, and so are pipes unless accepted.
OpenFile open_for_reading(const std::string& path, Accept accept);

// The same, refusals and failures giving FileNotFound with `path`.
errors::Result<OpenFile> open_manifest(const std::string& path, Accept accept);

enum class ReadOutcome { Complete, Failed, TooLarge };

// The whole content of the open file `fd` (described by `info`) appended to
// `out`. A regular file larger than `limit` is refused from its size, and
// any file or pipe as soon as it has given one byte more. A pipe is read
// through `waiting`, since its writer decides how long that takes.
ReadOutcome read_all(int fd, const struct stat& info, std::uint64_t limit, std::string& out,
                     const Waiting& waiting);

// Writes every byte of `text`, retrying partial and interrupted writes.
errors::Status write_all(int fd, std::string_view text);

bool same_file(const struct stat& a, const struct stat& b);

// The text of a small file of the system's, such as /proc/self/status;
// nothing when it cannot be read.
std::optional<std::string> system_file_text(const std::string& path);

}  // namespace brintel::schema
