// The rules of keys that reading lets pass: unknown, repeated and merge keys.
#include "cli/entries_by_key.hpp"
#include "cli/sites.hpp"
#include "cli/suggest.hpp"
#include "cli/texts.hpp"

#include <algorithm>
#include <unordered_map>

namespace brintel::cli {
namespace {

using yaml::KeyAt;

// The words of a site's path, made for its first finding: most mappings
// have none, and a reader's path is long.
class Where {
public:
    explicit Where(const yaml::Path& path) : path_(path) {}
    const std::optional<std::string>& operator()() {
        if (!words_) words_.emplace(path_words(path_));
        return *words_;
    }

private:
    const yaml::Path& path_;
    std::optional<std::optional<std::string>> words_;
};

bool is_field(const MappingSite& site, std::string_view key) { return site.names_field && site.names_field(key); }

// The settings a key of the record may stand for: those it does not have.
std::vector<std::string_view> absent_fields(const MappingSite& site) {
    std::vector<std::string_view> absent;
    for (const std::string_view field : site.fields) {
        if (std::ranges::none_of(site.entries, [&](const KeyAt& entry) { return entry.key == field; })) {
            absent.push_back(field);
        }
    }
    return absent;
}

// A repeated key of a mapping at `where`, found at `at` and first met at `first`.
void repeated(yaml::Mark at, std::string_view key, yaml::Mark first, const std::optional<std::string>& where,
              std::string_view consequence, const Place& place, Report& report) {
    Finding finding = located(at, Rule::DuplicateKey, text::duplicate_key(key, where, first, consequence));
    finding.extent = Extent::Node;
    report.add(std::move(finding), place);
}

// A collection open in a value that no setting takes.
struct Open {
    bool mapping;
    bool at_key = true;  // of a mapping: whether its next node is a key
    std::unordered_map<std::string_view, yaml::Mark> keys;
};

// The repeated keys of every mapping inside the value at `value`, which
// nothing reads: one pass over its events, aliases not followed.
void repeated_in_value(const MappingSite& site, const KeyAt& entry, Report& report) {
    const yaml::Path path = site.place.path.child(entry.key);
    const std::optional<std::string> where = text::value_of(path_words(path));
    const yaml::Document& document = site.document;
    std::vector<Open> open;
    const auto node_done = [&] {
        if (!open.empty() && open.back().mapping) open.back().at_key = !open.back().at_key;
    };
    const std::size_t end = yaml::value_end(document, entry.value);
    for (std::size_t at = entry.value; at < end && !entry.value_is_alias; ++at) {
        const yaml::Event& event = document.events[at];
        switch (event.kind) {
        case yaml::EventKind::MappingStart:
        case yaml::EventKind::SequenceStart: open.push_back({event.kind == yaml::EventKind::MappingStart, true, {}});
            break;
        case yaml::EventKind::MappingEnd:
        case yaml::EventKind::SequenceEnd:
            open.pop_back();
            node_done();
            break;
        case yaml::EventKind::Scalar:
            if (!open.empty() && open.back().mapping && open.back().at_key) {
                const auto [first, added] = open.back().keys.try_emplace(document.scalar(event), event.mark());
                if (!added && !event.is_empty_plain()) {
                    repeated(event.mark(), document.scalar(event), first->second, where, {}, site.place, report);
                }
            }
            node_done();
            break;
        case yaml::EventKind::Alias: node_done(); break;
        }
    }
}

}  // namespace

void detect_unknown_key(const MappingSite& site, Report& report) {
    if (site.kind != MappingKind::Record) return;
    std::optional<std::vector<std::string_view>> absent;  // found once, for the first unknown key
    Where where(site.place.path);
    for (const KeyAt& entry : site.entries) {
        if (!is_scalar_key(site.document, entry) || is_merge_key(site.document, entry)) continue;
        if (is_field(site, entry.key)) continue;
        if (!absent) absent = absent_fields(site);
        Finding finding = located(entry.key_mark(site.document), Rule::UnknownKey,
                                  text::unknown_key(entry.key, where(), closest(entry.key, *absent)));
        finding.extent = Extent::Node;
        report.add(std::move(finding), site.place);
    }
}

// Of top-level entries and readers, reading keeps the last; a record's
// settings given twice are duplicate-field errors, its other keys are
// ignored either way. Values that no setting takes are searched whole.
void detect_duplicate_key(const MappingSite& site, Report& report) {
    const bool record = site.kind == MappingKind::Record;
    const std::string_view consequence = record ? std::string_view() : text::last_entry_read;
    Where where(site.place.path);
    std::optional<EntriesByKey> first;  // made for the first key that may repeat
    for (std::size_t index = 0; index < site.entries.size(); ++index) {
        const KeyAt& entry = site.entries[index];
        if (!is_scalar_key(site.document, entry)) continue;
        if (record && is_field(site, entry.key)) continue;  // a duplicate field is a refusal of its own
        if (record) repeated_in_value(site, entry, report);
        if (!first) first.emplace(site.entries, site.entries.size());
        const auto [seen, added] = first->find_or_add(index);
        if (!added) {
            repeated(entry.key_mark(site.document), entry.key, site.entries[seen].key_mark(site.document), where(),
                     consequence, site.place, report);
        }
    }
}

void detect_merge_key(const MappingSite& site, Report& report) {
    Where where(site.place.path);
    for (const KeyAt& entry : site.entries) {
        if (!is_merge_key(site.document, entry)) continue;
        const std::string_view consequence = site.kind == MappingKind::Root ? text::merge_as_entry
                                             : site.kind == MappingKind::Map ? text::merge_as_reader
                                                                             : text::merge_ignored;
        Finding finding = located(entry.key_mark(site.document), Rule::MergeKey, text::merge_key_unapplied(where(), consequence));
        finding.extent = Extent::Node;
        report.add(std::move(finding), site.place);
    }
}

}  // namespace brintel::cli
