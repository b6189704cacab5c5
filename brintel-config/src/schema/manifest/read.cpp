#include "manifest.hpp"

#include "file_access.hpp"

#include "yaml/read.hpp"
#include "yaml/messages.hpp"
#include "utf8.hpp"

namespace brintel::schema {

using errors::ConfigError;
using errors::ErrorKind;

errors::Result<std::string> read_text(int fd, const std::string& path) {
    std::string text;
    // The operating system's reason is not part of the message.
    if (!read_all(fd, text) || !is_valid_utf8(text)) return ConfigError(ErrorKind::FileNotFound, path);
    return text;
}

errors::Result<std::string> read_text_file(const std::string& path) {
    auto file = open_manifest(path, Accept::RegularFileOrPipe);
    if (!file) return std::move(file.error());
    return read_text(file.value().get(), path);
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
    auto entry = document.value().find(std::string(product_key));
    if (entry == document.value().end()) {
        return ConfigError(ErrorKind::Serialization, std::string(yaml::message::no_product_key));
    }
    return std::move(entry->second);
}

errors::Result<OptionManifestConfig> read_product_entry(const std::string& path, yaml::Selection selection) {
    auto text = read_text_file(path);
    if (!text) return std::move(text.error());
    selection.entry = product_key;
    return product_entry(yaml::read_document_map<OptionManifestConfig>(std::move(text.value()), selection));
}

}  // namespace

errors::Result<InspectedManifest> inspect_manifest(const std::string& path) {
    auto text = read_text_file(path);
    if (!text) return std::move(text.error());
    yaml::Loaded loaded = yaml::load_first_document(text.value());
    yaml::FailureSite site;
    auto entry = product_entry(yaml::read_loaded<OptionManifestConfig>(loaded, {product_key, std::nullopt}, &site));
    return InspectedManifest{std::move(loaded), std::move(entry), std::move(site)};
}

errors::Result<OptionManifestConfig> read_from_manifest_yaml(const std::string& path,
                                                             bool unique_reader_ids) {
    auto manifest = read_product_entry(path, {});
    if (manifest && unique_reader_ids) make_reader_ids_unique(manifest.value().readers_config);
    return manifest;
}

errors::Result<ReaderConfig> read_reader_from_manifest(const std::string& path, const std::string& reader_id) {
    auto manifest = read_product_entry(path, {std::nullopt, reader_id});
    if (!manifest) return std::move(manifest.error());
    return find_reader(manifest.value(), reader_id);
}

errors::Result<ReaderConfig> find_reader(const OptionManifestConfig& manifest,
                                         const std::string& reader_id) {
    const auto found = manifest.readers_config.find(reader_id);
    if (found == manifest.readers_config.end()) {
        return ConfigError(ErrorKind::InvalidValue, yaml::message::no_reader(reader_id));
    }
    return found->second;
}

}  // namespace brintel::schema
