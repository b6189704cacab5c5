// Manifest files at the level of the operating system: opening only what is
// a file, reading it whole with a bound, writing a buffer completely.
#pragma once

#include "errors/config_error.hpp"
#include "descriptor.hpp"

#include <sys/stat.h>

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
struct OpenedManifest {
    Descriptor file;
    std::string failure;  // empty when `file` is open
};

// Opens `path` for reading without blocking on what is not a file: devices,
// sockets and directories are refused, and so are pipes unless accepted.
OpenedManifest open_for_reading(const std::string& path, Accept accept);

// The same, refusals and failures giving FileNotFound with `path`.
errors::Result<Descriptor> open_manifest(const std::string& path, Accept accept);

// The whole content of `fd` appended to `out`. Reading stops past 4 GiB,
// which no manifest may reach, so an endless stream cannot exhaust memory.
// On failure, errno tells why.
bool read_all(int fd, std::string& out);

// Writes every byte of `text`, retrying partial and interrupted writes.
errors::Status write_all(int fd, std::string_view text);

bool same_file(const struct stat& a, const struct stat& b);

}  // namespace brintel::schema
