#include "schema/manifest/replacement.hpp"

#include "schema/manifest/file_access.hpp"
#include "schema/manifest/manifest.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace brintel::schema {
namespace {

using errors::ConfigError;
using errors::ErrorKind;

constexpr std::size_t uuid_length = 36;
constexpr std::string_view temporary_suffix = ".tmp";
// Names up to this long stand in their temporary names as they are. Every
// longer one is cut and followed by "~" and 16 hex digits, which makes its
// part longer than this, so the two kinds never meet.
constexpr std::size_t verbatim_name_bytes = 128;

std::string_view name_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
}

// FNV-1a: names that share their first 128 bytes still differ here.
std::uint64_t name_hash(std::string_view name) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    return hash;
}

// The name's part of its temporary names: whole, or cut (not inside a
// UTF-8 sequence) and followed by the hash of the whole. It keeps every
// temporary name within a directory entry's 255 bytes, and tells every
// manifest's temporary files from those of any other.
std::string temporary_stem(std::string_view name) {
    if (name.size() <= verbatim_name_bytes) return std::string(name);
    std::size_t cut = verbatim_name_bytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(name_hash(name)));
    std::string stem(name.substr(0, cut));
    stem.append("~").append(hash);
    return stem;
}

// ".<stem>.", followed by a UUID and ".tmp" in every temporary name.
std::string temporary_prefix(const std::string& path) {
    std::string prefix(".");
    prefix.append(temporary_stem(name_of(path))).push_back('.');
    return prefix;
}

std::string temporary_name(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return directory + temporary_prefix(path) + new_uuid() + std::string(temporary_suffix);
}

bool is_uuid(std::string_view text) {
    if (text.size() != uuid_length) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool is_temporary_of(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + uuid_length + temporary_suffix.size()) return false;
    if (!name.starts_with(prefix) || !name.ends_with(temporary_suffix)) return false;
    return is_uuid(name.substr(prefix.size(), uuid_length));
}

// The process's file-creation mask. umask() can only read it by setting it,
// which would race with files created by other threads meanwhile.
mode_t creation_mask() {
    const std::string text = system_file_text("/proc/self/status").value_or("");
    constexpr std::string_view label = "\nUmask:\t";
    const auto field = text.find(label);
    mode_t mask = 0;
    if (field != std::string::npos) {
        const char* digits = text.data() + field + label.size();
        if (std::from_chars(digits, text.data() + text.size(), mask, 8).ec == std::errc{}) return mask;
    }
    mask = ::umask(022);
    ::umask(mask);
    return mask;
}

}  // namespace

std::string directory_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

Replacement::Replacement(const std::string& path) : path_(path), temporary_(temporary_name(path)) {}

int Replacement::create() {
    file_.reset(::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file_.get() < 0) return errno;
    created_ = true;
    return 0;
}

bool Replacement::name_fits() const { return temporary_.size() < PATH_MAX; }

errors::Status Replacement::write(std::string_view text) { return write_all(file_.get(), text); }

errors::Status Replacement::finish(mode_t mode) {
    // A mode that cannot be set fails the update: the manifest would
    // change its mode, and a narrower one can lock its readers out.
    if (::fchmod(file_.get(), mode) != 0 || ::fsync(file_.get()) != 0) {
        return ConfigError(ErrorKind::FileWrite, os_error(errno));
    }
    file_.close();
    return errors::success();
}

int Replacement::rename() {
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) return errno;
    created_ = false;
    return 0;
}

void Replacement::discard() {
    file_.close();
    if (created_) ::unlink(temporary_.c_str());
    created_ = false;
}

void remove_stale_temporaries(const std::string& path) {
    DIR* directory = ::opendir(directory_of(path).c_str());
    if (!directory) return;
    const std::string prefix = temporary_prefix(path);
    while (const dirent* entry = ::readdir(directory)) {
        if (is_temporary_of(entry->d_name, prefix)) ::unlinkat(::dirfd(directory), entry->d_name, 0);
    }
    ::closedir(directory);
}

mode_t kept_mode(const struct stat& replaced, bool replaces_link) {
    const mode_t bits = replaced.st_mode & 0777;
    return replaces_link ? bits & 0666 & ~creation_mask() : bits;
}

void sync_directory(const std::string& path) {
    // A directory we may not read cannot be synced, and the rename stands
    // all the same.
    Descriptor directory(::open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) ::fsync(directory.get());
}

}  // namespace brintel::schema
