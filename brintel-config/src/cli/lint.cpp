#include "cli/lint.hpp"

#include "cli/sites.hpp"
#include "cli/walk.hpp"

#include <algorithm>
#include <utility>

namespace brintel::cli {
namespace {

// The refusal of reading that the walk did not meet, or could not go to.
void unmet_refusal(const schema::InspectedManifest& manifest, Report& report) {
    const errors::ConfigError& error = manifest.entry.error();
    if (!manifest.failed_at) {
        report.add(located({}, Rule::NoProductKey, error.text()));
        return;
    }
    RefusalSite site{manifest.failed_at->mark, manifest.failed_at->cause, error.text(), {}, {}, {}, Extent::None};
    const std::vector<std::string>& keys = manifest.failed_at->keys;
    constexpr std::string_view readers_key = schema::field_of(&schema::OptionManifestConfig::readers_config).key();
    if (keys.size() >= 3 && keys[0] == schema::product_key && keys[1] == readers_key) {
        site.reader = keys[2];
        if (keys.size() > 3) site.field = keys[3];
    }
    detect(site, report);
}

bool is_well_formed(const yaml::Loaded& loaded) {
    return !loaded.failure && !loaded.document.parse_error && !loaded.document.empty_stream;
}

}  // namespace

std::vector<Finding> lint(const schema::InspectedManifest& manifest) {
    const yaml::Document& document = manifest.loaded.document;
    Report report;
    // Past a syntax error nothing can be told: records stop short of their
    // keys. The walk goes over well-formed documents only.
    if (is_well_formed(manifest.loaded)) walk(document, report);
    if (!manifest.entry) {
        const std::string error = manifest.entry.error().display();
        const bool met = std::ranges::any_of(report.findings(), [&](const Finding& f) { return f.reading_error == error; });
        if (!met) unmet_refusal(manifest, report);
        const auto& syntax = document.parse_error;
        if (syntax && error != reading_error(syntax->message)) {
            detect(RefusalSite{syntax->mark, yaml::Cause::Malformed, syntax->message, {}, {}, {}, Extent::None}, report);
        }
    }
    std::vector<Finding> findings = std::move(report.findings());
    std::ranges::stable_sort(findings, {}, [](const Finding& f) { return std::pair(f.line, f.column); });
    return findings;
}

Finding unreadable_finding(const schema::Unreadable& unreadable) {
    Report report;
    detect(FileSite{unreadable}, report);
    return std::move(report.findings().front());
}

}  // namespace brintel::cli
