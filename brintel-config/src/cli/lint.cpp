#include "lint.hpp"

#include "texts.hpp"

#include "schema/validate.hpp"
#include "yaml/keys.hpp"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <utility>

namespace brintel::cli {
namespace {

using schema::OptionManifestConfig;
using yaml::KeyAt;
using Entries = std::vector<KeyAt>;

constexpr std::string_view server_key = schema::field_of(&OptionManifestConfig::server_config).key();
constexpr std::string_view readers_key = schema::field_of(&OptionManifestConfig::readers_config).key();

// Suggestions go this far; beyond it a name is more likely another word.
constexpr std::size_t max_suggestion_distance = 2;

Finding located(yaml::Mark mark, Severity severity, std::string message) {
    return {std::uint64_t{mark.line} + 1, std::uint64_t{mark.column} + 1, severity, std::nullopt, std::nullopt,
            std::move(message)};
}

// Of a repeated key, the later entry is the one that was read.
const KeyAt* last_with_key(const Entries& entries, std::string_view key) {
    const KeyAt* found = nullptr;
    for (const KeyAt& entry : entries) {
        if (entry.key == key) found = &entry;
    }
    return found;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

// Levenshtein distance in bytes; any value above `limit` once it certainly
// exceeds it, so that a long key costs nothing.
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit) {
    if (std::max(a.size(), b.size()) - std::min(a.size(), b.size()) > limit) return limit + 1;
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1] ? 1 : 0)});
            diagonal = above;
        }
    }
    return row.back();
}

// A field that differs from `key` in case only, else the first one in
// declared order among the closest within the distance.
template <class Record>
std::optional<std::string_view> closest_field(std::string_view key) {
    std::optional<std::string_view> best;
    std::size_t best_distance = max_suggestion_distance + 1;
    schema::for_each_field<Record>([&](const auto& field) {
        const std::size_t distance = equal_ignoring_case(key, field.key())
                                         ? 0
                                         : edit_distance(key, field.key(), max_suggestion_distance);
        if (distance < best_distance) {
            best = field.key();
            best_distance = distance;
        }
    });
    return best;
}

template <class Record>
bool is_field(std::string_view key) {
    return schema::find_field<Record>([&](const auto& field, std::size_t) { return field.key() == key; });
}

template <class Record>
void warn_unknown_keys(const Entries& entries, std::string_view where, const std::optional<std::string>& reader,
                       std::vector<Finding>& findings) {
    for (const KeyAt& entry : entries) {
        if (is_field<Record>(entry.key)) continue;
        findings.push_back(located(entry.key_mark, Severity::Warning,
                                   text::unknown_key(entry.key, where, closest_field<Record>(entry.key))));
        findings.back().reader = reader;
    }
}

// Each finding at the value of the field it names, or at the reader's key
// when the reader does not write that field.
void lint_reader(const yaml::Document& document, const KeyAt& at, const schema::ReaderConfig& reader,
                 std::vector<Finding>& findings) {
    const std::string id(at.key);
    const Entries entries = yaml::mapping_entries(document, at.value);
    warn_unknown_keys<schema::ReaderConfig>(entries, text::in_reader(id), id, findings);
    const errors::Status status = schema::validate(reader);
    if (status) return;
    for (const errors::ValidationError& problem : status.error().findings()) {
        const std::string& field = problem.field.field;
        const KeyAt* value = last_with_key(entries, field);
        findings.push_back(located(value ? value->value_mark : at.key_mark, Severity::Error,
                                   text::reader_finding(readers_key, id, field, problem.error_type.reason)));
        findings.back().reader = id;
        findings.back().field = field;
    }
}

// Readers in document order; of a repeated id, the later one is read.
void lint_readers(const yaml::Document& document, const KeyAt& readers_entry, const schema::ReaderMap& readers,
                  std::vector<Finding>& findings) {
    const Entries entries = yaml::mapping_entries(document, readers_entry.value);
    std::unordered_map<std::string_view, std::size_t> last;
    for (std::size_t i = 0; i < entries.size(); ++i) last.insert_or_assign(entries[i].key, i);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto reader = readers.find(std::string(entries[i].key));
        if (last.at(entries[i].key) == i && reader != readers.end()) {
            lint_reader(document, entries[i], reader->second, findings);
        }
    }
}

// The reader and field a reading failure's path names, if it lies in a reader.
void name_reader_and_field(const std::vector<std::string>& keys, Finding& finding) {
    if (keys.size() < 3 || keys[0] != schema::product_key || keys[1] != readers_key) return;
    finding.reader = keys[2];
    if (keys.size() > 3) finding.field = keys[3];
}

}  // namespace

std::vector<Finding> lint(const schema::InspectedManifest& manifest) {
    if (!manifest.entry) {
        Finding failure = located(manifest.failed_at.mark, Severity::Error, manifest.entry.error().display());
        name_reader_and_field(manifest.failed_at.keys, failure);
        return {std::move(failure)};
    }
    std::vector<Finding> findings;
    const yaml::Document& document = manifest.loaded.document;
    const Entries top = yaml::mapping_entries(document, yaml::root_value);
    const KeyAt* product = last_with_key(top, schema::product_key);
    if (!product) return findings;  // read, so never
    const Entries entry = yaml::mapping_entries(document, product->value);
    warn_unknown_keys<OptionManifestConfig>(entry, schema::product_key, std::nullopt, findings);
    if (const KeyAt* server = last_with_key(entry, server_key)) {
        warn_unknown_keys<schema::OptionAppConfig>(yaml::mapping_entries(document, server->value), server_key,
                                                   std::nullopt, findings);
    }
    if (const KeyAt* readers = last_with_key(entry, readers_key)) {
        lint_readers(document, *readers, manifest.entry.value().readers_config, findings);
    }
    std::ranges::stable_sort(findings, {}, [](const Finding& f) { return std::pair(f.line, f.column); });
    return findings;
}

}  // namespace brintel::cli
