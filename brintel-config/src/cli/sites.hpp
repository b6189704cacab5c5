// What the detectors of the rules are shown, and where their findings go.
// The walk (walk.cpp) goes through a manifest as reading does and shows
// each rule's detector the sites it takes; a detector knows nothing of the
// walk, only of its site.
#pragma once

#include "cli/lint.hpp"
#include "cli/rules.hpp"

#include "schema/manifest/manifest.hpp"
#include "yaml/document.hpp"
#include "yaml/keys.hpp"
#include "yaml/path.hpp"
#include "yaml/read.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::cli {

// How far the walk looks into an entry: at everything (a brintel entry, or
// the entry taken for it), or only at what makes reading fail (the other
// top-level entries).
enum class Scope : std::uint8_t { ReadingOnly, Everything };

// A record or map the walk stands in.
struct Place {
    const yaml::Path& path;
    Scope scope;
    std::optional<std::string_view> reader;  // inside a reader of an examined entry: its id
    // Said after every finding here that is no refusal of reading: why
    // reading does not take what it points at ("" when it does).
    std::string note;
};

struct FileSite {
    const schema::Unreadable& unreadable;
};

// A refusal of reading, located, with what its finding names.
struct RefusalSite {
    yaml::Mark at;
    yaml::Cause cause;
    std::string message;        // the path and the refusal, without position
    std::string reading_error;  // as Python shows it, when reading meets it first
    std::optional<std::string_view> reader;
    std::optional<std::string_view> field;
    Extent extent = Extent::None;

    Finding finding(Rule rule) const;
};

enum class MappingKind : std::uint8_t {
    Root,    // the top-level entries
    Record,  // a record: a brintel entry, its server_config, a reader
    Map,     // readers_config
};

// A mapping of an examined entry (and the document's root, always).
struct MappingSite {
    const yaml::Document& document;
    const std::vector<yaml::KeyAt>& entries;
    MappingKind kind;
    std::span<const std::string_view> fields;  // a record's keys, in declared order
    const Place& place;
    bool (*names_field)(std::string_view key) = nullptr;  // a record's: whether `key` is one of `fields`
};

// A reader of an examined entry that reads.
struct ReaderSite {
    const yaml::Document& document;
    const yaml::KeyAt& at;  // its id
    const schema::ReaderConfig& config;
    const std::vector<yaml::KeyAt>& fields;
    const Place& place;
};

class Report {
public:
    void add(Finding finding) { findings_.push_back(std::move(finding)); }
    // A finding of the detector at `place`, about `field` if given.
    void add(Finding finding, const Place& place, std::optional<std::string_view> field = std::nullopt);

    std::vector<Finding>& findings() { return findings_; }

private:
    std::vector<Finding> findings_;
};

// Shows `site` to the detector of every rule that takes such sites.
template <class Site>
void detect(const Site& site, Report& report) {
    for (const RuleInfo& rule : rules) {
        if (const auto* detector = std::get_if<void (*)(const Site&, Report&)>(&rule.detector)) {
            (*detector)(site, report);
        }
    }
}

// A finding at the 0-based `mark`.
Finding located(yaml::Mark mark, Rule rule, std::string message);

// The display text of the Serialization error that reading makes of `text`.
std::string reading_error(std::string text);

// What stands at event `event`, for the end of a finding there. A mapping
// whose first key starts where it does is in block style.
Extent extent_at(const yaml::Document& document, std::size_t event);

bool is_scalar_key(const yaml::Document& document, const yaml::KeyAt& entry);
bool is_merge_key(const yaml::Document& document, const yaml::KeyAt& entry);

// Whether a top-level `key` is taken for the product key when there is
// none: close to it, as a misspelt key is to a setting.
bool near_product_key(std::string_view key);
bool has_product_key(const yaml::Document& document, const std::vector<yaml::KeyAt>& entries);

// The text of `path` as the command's own findings name it: "brintel",
// "brintel.readers_config.r1"; nothing at the root.
std::optional<std::string> path_words(const yaml::Path& path);

}  // namespace brintel::cli
