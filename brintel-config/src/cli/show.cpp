#include "cli/commands.hpp"

#include "cli/json.hpp"
#include "cli/sites.hpp"
#include "cli/suggest.hpp"
#include "cli/texts.hpp"
#include "cli/version.hpp"

#include "schema/manifest/manifest.hpp"
#include "yaml/keys.hpp"
#include "yaml/write.hpp"

#include <unistd.h>

#include <algorithm>
#include <unordered_set>

namespace brintel::cli {
namespace {

using yaml::KeyAt;

constexpr std::string_view readers_key = schema::field_of(&schema::OptionManifestConfig::readers_config).key();

// The entry that reading keeps of `key` in the mapping at `value`: the last.
const KeyAt* kept_entry(const std::vector<KeyAt>& entries, std::string_view key) {
    const auto found = std::ranges::find(entries.rbegin(), entries.rend(), key, &KeyAt::key);
    return found == entries.rend() ? nullptr : &*found;
}

// The entries of the reader map that reading took; the text has been read.
std::vector<KeyAt> reader_entries(const yaml::Document& document) {
    const std::vector<KeyAt> top = yaml::mapping_entries(document, yaml::root_value);
    const KeyAt* product = kept_entry(top, schema::product_key);
    if (!product) return {};
    const std::vector<KeyAt> entry = yaml::mapping_entries(document, product->value);
    const KeyAt* readers = kept_entry(entry, readers_key);
    return readers ? yaml::mapping_entries(document, readers->value) : std::vector<KeyAt>();
}

void list_ids(const std::vector<KeyAt>& readers, std::ostream& out) {
    std::unordered_set<std::string_view> listed;
    for (const KeyAt& reader : readers) {
        if (listed.insert(reader.key).second) out << one_line(reader.key) << '\n';
    }
}

int missing_reader(const std::string& name, const std::string& id, const std::vector<KeyAt>& readers, Streams streams) {
    std::vector<std::string_view> ids;
    for (const KeyAt& reader : readers) ids.push_back(reader.key);
    std::string message = "no reader with id `" + id + "` in " + name;
    if (const auto near = closest(id, ids)) message.append("; did you mean `").append(*near).append("`?");
    streams.err << program << " show: " << one_line(message) << '\n';
    return failure;
}

bool print_reader(const schema::ReaderConfig& reader, ShowFormat format, Streams streams) {
    if (format == ShowFormat::Json) {
        streams.out << reader_json(reader);
        return true;
    }
    const auto text = yaml::write_reader(reader);
    if (!text) {
        streams.err << program << " show: " << text.error().display() << '\n';
        return false;
    }
    streams.out << text.value();
    return true;
}

// The reader's validation findings, located as check locates them, on
// standard error; whether there were any.
bool report_validation(const std::string& name, const yaml::Document& document, const KeyAt& at,
                       const schema::ReaderConfig& reader, Streams streams) {
    const yaml::Path root = yaml::Path::root();
    const yaml::Path product = root.child(schema::product_key);
    const yaml::Path readers = product.child(readers_key);
    const yaml::Path path = readers.child(at.key);
    const Place place{path, Scope::Everything, at.key, {}};
    const std::vector<KeyAt> fields = yaml::mapping_entries(document, at.value);
    Report report;
    detect_validation(ReaderSite{document, at, reader, fields, place}, report);
    if (report.findings().empty()) return false;
    print_findings(Format::Text, {FileFindings{name, std::move(report.findings())}}, {}, streams.err);
    return true;
}

}  // namespace

int show_reader(const std::string& path, const std::optional<std::string>& reader_id, ShowFormat format,
                Streams streams) {
    const bool from_input = path == "-";
    const std::string name = from_input ? "<stdin>" : path;
    const schema::ManifestText text = from_input ? schema::manifest_text(STDIN_FILENO) : schema::manifest_text(path);
    if (text.unreadable) {
        streams.err << one_line(name) << ": " << one_line(text::unreadable(text.unreadable->reason)) << '\n';
        return failure;
    }
    const schema::InspectedManifest manifest = schema::inspect_manifest(text.text, reader_id);
    if (!manifest.entry) {
        streams.err << one_line(name) << ": " << one_line(manifest.entry.error().display()) << '\n';
        return failure;
    }
    const yaml::Document& document = manifest.loaded.document;
    const std::vector<KeyAt> readers = reader_entries(document);
    if (!reader_id) {
        list_ids(readers, streams.out);
        return success;
    }
    const auto reader = schema::find_reader(manifest.entry.value(), *reader_id);
    const KeyAt* at = kept_entry(readers, *reader_id);
    if (!reader || !at) return missing_reader(name, *reader_id, readers, streams);
    if (!print_reader(reader.value(), format, streams)) return failure;
    return report_validation(name, document, *at, reader.value(), streams) ? problems_found : success;
}

}  // namespace brintel::cli
