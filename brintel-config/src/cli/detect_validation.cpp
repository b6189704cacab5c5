// The rule of readers that ReaderConfig.validate() refuses.
#include "cli/sites.hpp"
#include "cli/texts.hpp"

#include "schema/validate.hpp"

namespace brintel::cli {

// Each finding at the value of the field it names, or at the reader's id
// when the reader does not write that field or the finding is about the
// whole reader.
void detect_validation(const ReaderSite& site, Report& report) {
    const errors::Status status = schema::validate(site.config);
    if (status) return;
    for (const errors::ValidationError& problem : status.error().findings()) {
        std::optional<std::string_view> field;
        if (problem.field.which == errors::Where::Case::Field) field = problem.field.field;
        const yaml::KeyAt* value = nullptr;
        for (const yaml::KeyAt& entry : site.fields) {
            if (field && entry.key == *field) value = &entry;
        }
        const yaml::Path path = site.place.path.child(field.value_or(""));
        const std::optional<std::string> where = path_words(field ? path : site.place.path);
        Finding finding = located(value ? value->value_mark(site.document) : site.at.key_mark(site.document), Rule::Validation,
                                  text::at_path(where, problem.error_type.reason));
        finding.extent = value ? extent_at(site.document, value->value) : Extent::Node;
        report.add(std::move(finding), site.place, field);
    }
}

}  // namespace brintel::cli
