// The rules of what makes reading fail: each takes the refusals of its kind.
#include "cli/sites.hpp"
#include "cli/texts.hpp"

namespace brintel::cli {
namespace {

void refusal_of(yaml::Cause cause, Rule rule, const RefusalSite& site, Report& report) {
    if (site.cause == cause) report.add(site.finding(rule));
}

}  // namespace

void detect_unreadable(const FileSite& site, Report& report) {
    report.add(located(site.unreadable.mark, Rule::Unreadable, text::unreadable(site.unreadable.reason)));
}

void detect_syntax(const RefusalSite& site, Report& report) {
    refusal_of(yaml::Cause::Malformed, Rule::Syntax, site, report);
}

void detect_wrong_type(const RefusalSite& site, Report& report) {
    refusal_of(yaml::Cause::WrongType, Rule::WrongType, site, report);
}

void detect_missing_field(const RefusalSite& site, Report& report) {
    refusal_of(yaml::Cause::MissingField, Rule::MissingField, site, report);
}

void detect_duplicate_field(const RefusalSite& site, Report& report) {
    refusal_of(yaml::Cause::DuplicateField, Rule::DuplicateField, site, report);
}

// At the top-level keys that may stand for the product key, or at the
// document's start when none does.
void detect_no_product_key(const MappingSite& site, Report& report) {
    if (site.kind != MappingKind::Root || has_product_key(site.document, site.entries)) return;
    const std::string missing(schema::message::no_product_key);
    bool offered = false;
    for (const yaml::KeyAt& entry : site.entries) {
        if (!is_scalar_key(site.document, entry) || !near_product_key(entry.key)) continue;
        Finding finding = located(entry.key_mark(site.document), Rule::NoProductKey,
                                  text::product_key_misspelt(missing, entry.key, schema::product_key));
        finding.reading_error = reading_error(missing);
        finding.extent = Extent::Node;
        report.add(std::move(finding));
        offered = true;
    }
    if (offered) return;
    Finding finding = located({}, Rule::NoProductKey, missing);
    finding.reading_error = reading_error(missing);
    report.add(std::move(finding));
}

}  // namespace brintel::cli
