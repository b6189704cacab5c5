// The new manifest, written as a private file beside the old one and renamed
// over it.
#pragma once

#include "errors/config_error.hpp"
#include "schema/manifest/descriptor.hpp"

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace brintel::schema {

// Removed again unless renamed. Its name is ".<name>.<uuid>.tmp" beside the
// manifest, <name> cut and hashed when it is long.
class Replacement {
public:
    explicit Replacement(const std::string& path);
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement() { discard(); }

    // 0, or the error number. The file is private from its first byte: the
    // text may hold tokens that only the manifest's readers may see.
    int create();
    int fd() const { return file_.get(); }
    // Whether the temporary file's path is shorter than PATH_MAX.
    bool name_fits() const;
    errors::Status write(std::string_view text);
    // Gives the file its permission bits and syncs it.
    errors::Status finish(mode_t mode);
    // 0, or the error number.
    int rename();
    void discard();

private:
    const std::string& path_;
    std::string temporary_;
    Descriptor file_;
    bool created_ = false;
};

// Files an update left when its process died between creating and renaming
// them. Only the holder of the manifest's lock may call this: no other
// update of this manifest is then under way, so every such file is stale.
// A directory that cannot be listed keeps them.
void remove_stale_temporaries(const std::string& path);

// The directory that holds `path`: "." for a bare name.
std::string directory_of(const std::string& path);

// The permission bits the new file gets: those of the file it replaces
// (`replaced`). A symbolic link gives way to a new file, made as any new
// file is, but never readable by more than the file it pointed to.
mode_t kept_mode(const struct stat& replaced, bool replaces_link);

// Makes a rename in the manifest's directory survive a crash.
void sync_directory(const std::string& path);

}  // namespace brintel::schema
