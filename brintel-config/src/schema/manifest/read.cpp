#include "schema/manifest/manifest.hpp"

#include "schema/manifest/file_access.hpp"
#include "schema/manifest/messages.hpp"

#include "yaml/read.hpp"
#include "yaml/messages.hpp"
#include "yaml/positions.hpp"
#include "yaml/utf8.hpp"

#include <cerrno>

namespace brintel::schema {

using errors::ConfigError;
using errors::ErrorKind;

namespace {

ManifestText unreadable(std::string reason, yaml::Mark mark = {}, bool too_large = false) {
    return {{}, Unreadable{std::move(reason), mark, too_large}};
}

errors::Result<std::string> text_or_error(ManifestText manifest, const std::string& path) {
    if (!manifest.unreadable) return std::move(manifest.text);
    if (manifest.unreadable->too_large) return ConfigError(ErrorKind::Serialization, std::move(manifest.unreadable->reason));
    // The operating system's reason is not part of reading's message.
    return ConfigError(ErrorKind::FileNotFound, path);
}

ManifestText text_of(int fd, const struct stat& info, const Waiting& waiting) {
    std::string text;
    switch (read_all(fd, info, yaml::max_manifest_bytes, text, waiting)) {
    case ReadOutcome::Complete: break;
    case ReadOutcome::Failed: return unreadable(system_reason(errno));
    case ReadOutcome::TooLarge: return unreadable(yaml::message::too_large(), {}, true);
    }
    const std::size_t valid = yaml::utf8_prefix(text);
    if (valid < text.size()) {
        const yaml::Mark mark = yaml::mark_at(text, valid);
        return unreadable(std::string(message::invalid_utf8) + yaml::message::position_suffix(mark.line, mark.column), mark);
    }
    return {std::move(text), std::nullopt};
}

}  // namespace

ManifestText manifest_text(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return unreadable(system_reason(errno));
    return text_of(fd, info, plain_waiting());
}

ManifestText manifest_text(const std::string& path, const Waiting& waiting) {
    OpenFile opened = open_for_reading(path, Accept::RegularFileOrPipe);
    if (!opened.failure.empty()) return unreadable(std::move(opened.failure));
    return text_of(opened.file.get(), opened.info, waiting);
}

errors::Result<std::string> read_text(int fd, const struct stat& info, const std::string& path,
                                      const Waiting& waiting) {
    return text_or_error(text_of(fd, info, waiting), path);
}

errors::Result<std::string> read_text_file(const std::string& path, const Waiting& waiting) {
    return text_or_error(manifest_text(path, waiting), path);
}

void make_reader_ids_unique(ReaderMap& readers) {
    ReaderMap renamed;
    renamed.reserve(readers.size());
    for (auto& [id, reader] : readers) {
        renamed.emplace(id + "_" + new_uuid(), std::move(reader));
    }
    readers = std::move(renamed);
}

namespace {

errors::Result<OptionManifestConfig> product_entry(errors::Result<DocumentMap<OptionManifestConfig>> document) {
    if (!document) return std::move(document.error());
    auto entry = product_entry_in(document.value());
    if (!entry) return std::move(entry.error());
    return std::move(*entry.value());
}

errors::Result<OptionManifestConfig> read_product_entry(const std::string& path, yaml::Selection selection,
                                                        const Waiting& waiting) {
    auto text = read_text_file(path, waiting);
    if (!text) return std::move(text.error());
    selection.entry = product_key;
    return product_entry(yaml::read_document_map<OptionManifestConfig>(std::move(text.value()), selection));
}

}  // namespace

InspectedManifest inspect_manifest(std::string_view text, std::optional<std::string_view> reader_id) {
    yaml::Loaded loaded = yaml::load_first_document(text, yaml::Positions::Keep);
    std::optional<yaml::FailureSite> failed_at;
    const yaml::Selection selection{product_key, reader_id, reader_id.has_value()};
    auto document = yaml::read_loaded<OptionManifestConfig>(loaded, selection, &failed_at.emplace());
    if (document) failed_at.reset();
    auto entry = product_entry(std::move(document));
    return InspectedManifest{std::move(loaded), std::move(entry), std::move(failed_at)};
}

errors::Result<OptionManifestConfig> read_from_manifest_yaml(const std::string& path, bool unique_reader_ids,
                                                             const Waiting& waiting) {
    auto manifest = read_product_entry(path, {}, waiting);
    if (manifest && unique_reader_ids) make_reader_ids_unique(manifest.value().readers_config);
    return manifest;
}

errors::Result<ReaderConfig> read_reader_from_manifest(const std::string& path, const std::string& reader_id,
                                                       const Waiting& waiting) {
    auto manifest = read_product_entry(path, {std::nullopt, reader_id}, waiting);
    if (!manifest) return std::move(manifest.error());
    return find_reader(manifest.value(), reader_id);
}

errors::Result<ReaderConfig> find_reader(const OptionManifestConfig& manifest,
                                         const std::string& reader_id) {
    const auto found = manifest.readers_config.find(reader_id);
    if (found == manifest.readers_config.end()) {
        return ConfigError(ErrorKind::InvalidValue, message::no_reader(reader_id));
    }
    return found->second;
}

}  // namespace brintel::schema
