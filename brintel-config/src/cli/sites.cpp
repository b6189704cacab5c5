#include "cli/sites.hpp"

#include "cli/suggest.hpp"
#include "cli/texts.hpp"

#include "errors/config_error.hpp"
#include "yaml/messages.hpp"

#include <algorithm>
#include <array>

namespace brintel::cli {

Finding located(yaml::Mark mark, Rule rule, std::string message) {
    return {std::uint64_t{mark.line} + 1, std::uint64_t{mark.column} + 1, rule, std::nullopt, std::nullopt,
            std::move(message), {}, Extent::None, std::nullopt};
}

std::string reading_error(std::string text) {
    return errors::ConfigError(errors::ErrorKind::Serialization, std::move(text)).display();
}

Finding RefusalSite::finding(Rule rule) const {
    Finding out = located(at, rule, message);
    out.reading_error = reading_error;
    if (reader) out.reader = std::string(*reader);
    if (field) out.field = std::string(*field);
    out.extent = extent;
    return out;
}

void Report::add(Finding finding, const Place& place, std::optional<std::string_view> field) {
    if (place.scope == Scope::Everything && place.reader) finding.reader = std::string(*place.reader);
    if (field) finding.field = std::string(*field);
    finding.message += place.note;
    findings_.push_back(std::move(finding));
}

Extent extent_at(const yaml::Document& document, std::size_t event) {
    const yaml::Event& at = document.events[event];
    switch (at.kind) {
    case yaml::EventKind::Scalar: return at.is_empty_plain() ? Extent::None : Extent::Node;
    case yaml::EventKind::Alias: return Extent::Node;
    case yaml::EventKind::MappingStart:
    case yaml::EventKind::SequenceStart: {
        const bool block = event + 1 < document.events.size() && document.events[event + 1].line == at.line &&
                           document.events[event + 1].column == at.column;
        return block ? Extent::None : Extent::Flow;
    }
    default: return Extent::None;
    }
}

bool is_scalar_key(const yaml::Document& document, const yaml::KeyAt& entry) {
    return document.events.stored(entry.key_event).kind() == yaml::EventKind::Scalar;
}

bool is_merge_key(const yaml::Document& document, const yaml::KeyAt& entry) {
    return entry.key == text::merge_key && document.events.stored(entry.key_event).style() == yaml::ScalarStyle::Plain;
}

bool near_product_key(std::string_view key) {
    const std::array candidates = {schema::product_key};
    return key != schema::product_key && closest(key, candidates).has_value();
}

bool has_product_key(const yaml::Document& document, const std::vector<yaml::KeyAt>& entries) {
    return std::ranges::any_of(entries, [&](const yaml::KeyAt& entry) {
        return is_scalar_key(document, entry) && entry.key == schema::product_key;
    });
}

std::optional<std::string> path_words(const yaml::Path& path) { return yaml::message::path_text(path); }

}  // namespace brintel::cli
