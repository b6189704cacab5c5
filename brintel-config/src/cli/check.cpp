#include "commands.hpp"

#include "errors/escape.hpp"
#include "schema/manifest/manifest.hpp"
#include "schema/validate.hpp"

#include <algorithm>
#include <vector>

namespace brintel::cli {
namespace {

using errors::ValidationError;

// Keeps one problem per line even for ids that hold line breaks.
std::string printable_id(const std::string& id) {
    const bool has_control = std::ranges::any_of(
        id, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    return has_control ? errors::debug_quoted(id) : id;
}

// Validation names a field and a reason in every finding.
std::string finding_line(const std::string& id, const ValidationError& finding) {
    return id + ": " + finding.field.field + ": " + finding.error_type.reason;
}

std::vector<std::string> sorted_ids(const schema::ReaderMap& readers) {
    std::vector<std::string> ids;
    ids.reserve(readers.size());
    for (const auto& [id, reader] : readers) ids.push_back(id);
    std::ranges::sort(ids);
    return ids;
}

// Prints the reader's problems; false when it has any.
bool report_reader(const std::string& id, const schema::ReaderConfig& reader, std::ostream& out) {
    const errors::Status status = schema::validate(reader);
    if (status) return true;
    const std::string shown = printable_id(id);
    for (const ValidationError& finding : status.error().findings()) {
        out << finding_line(shown, finding) << '\n';
    }
    return false;
}

}  // namespace

int check_manifest(const std::string& path, Streams streams) {
    const auto manifest = schema::read_from_manifest_yaml(path, false);
    if (!manifest) {
        streams.err << manifest.error().display() << '\n';
        return failure;
    }
    const schema::ReaderMap& readers = manifest.value().readers_config;
    bool sound = true;
    for (const std::string& id : sorted_ids(readers)) {
        sound = report_reader(id, readers.at(id), streams.out) && sound;
    }
    return sound ? success : problems_found;
}

}  // namespace brintel::cli
