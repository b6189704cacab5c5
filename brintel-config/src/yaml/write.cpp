#include "yaml/write.hpp"

#include "yaml/libyaml.hpp"
#include "yaml/messages.hpp"
#include "yaml/scalar.hpp"

#include <algorithm>
#include <limits>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

namespace brintel::yaml {
namespace {

int append_output(void* data, unsigned char* buffer, size_t size) {
    static_cast<std::string*>(data)->append(reinterpret_cast<const char*>(buffer), size);
    return 1;
}

// The style a string asks the emitter for.
yaml_scalar_style_t string_style(std::string_view text) {
    if (text.find('\n') != std::string_view::npos) return YAML_LITERAL_SCALAR_STYLE;
    if (!may_be_typed(text)) return YAML_ANY_SCALAR_STYLE;
    // Every integer form, even one too large to be a number here: other YAML
    // readers take it for one.
    if (plain_meaning(text) != PlainMeaning::String || has_integer_form(text) || is_leading_zero_digits(text)) {
        return YAML_SINGLE_QUOTED_SCALAR_STYLE;
    }
    return YAML_ANY_SCALAR_STYLE;
}

class Writer {
public:
    Writer() {
        if (!emitter_.ready()) throw std::bad_alloc();
        output_.reserve(128);
        yaml_emitter_t* emitter = emitter_.get();
        yaml_emitter_set_output(emitter, append_output, &output_);
        yaml_emitter_set_encoding(emitter, YAML_UTF8_ENCODING);
        yaml_emitter_set_unicode(emitter, 1);
        yaml_emitter_set_width(emitter, -1);
        yaml_emitter_set_indent(emitter, 2);
    }

    template <class Root>
    bool write(const Root& root) {
        yaml_event_t event;
        yaml_stream_start_event_initialize(&event, YAML_UTF8_ENCODING);
        if (!emit(event)) return false;
        yaml_document_start_event_initialize(&event, nullptr, nullptr, nullptr, 1);
        if (!emit(event) || !value(root)) return false;
        yaml_document_end_event_initialize(&event, 1);
        if (!emit(event)) return false;
        yaml_stream_end_event_initialize(&event);
        return emit(event) && yaml_emitter_flush(emitter_.get());
    }

    std::string take_output() { return std::move(output_); }
    std::string problem() const {
        if (!problem_.empty()) return problem_;
        const char* text = emitter_.state().problem;
        return text ? std::string(text) : std::string(message::emitter_failed);
    }

private:
    Emitter emitter_;
    std::string output_;
    std::string problem_;  // ours, where the emitter has none

    // The emitter owns the event from here on, even when it fails.
    bool emit(yaml_event_t& event) { return yaml_emitter_emit(emitter_.get(), &event) != 0; }

    bool mapping_start() {
        yaml_event_t event;
        yaml_mapping_start_event_initialize(&event, nullptr, nullptr, 1, YAML_ANY_MAPPING_STYLE);
        return emit(event);
    }

    bool mapping_end() {
        yaml_event_t event;
        yaml_mapping_end_event_initialize(&event);
        return emit(event);
    }

    bool scalar(std::string_view text, yaml_scalar_style_t style) {
        if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
            problem_ = message::scalar_too_long;
            return false;
        }
        yaml_event_t event;
        const auto* bytes = reinterpret_cast<const yaml_char_t*>(text.data());
        if (!yaml_scalar_event_initialize(&event, nullptr, nullptr, bytes, static_cast<int>(text.size()), 1, 1,
                                          style)) {
            throw std::bad_alloc();
        }
        return emit(event);
    }

    bool value(std::string_view text) { return scalar(text, string_style(text)); }
    bool value(const std::string& text) { return value(std::string_view(text)); }
    bool value(bool flag) { return scalar(flag ? "true" : "false", YAML_PLAIN_SCALAR_STYLE); }

    template <class T>
        requires std::is_unsigned_v<T>
    bool value(T number) {
        return scalar(std::to_string(number), YAML_PLAIN_SCALAR_STYLE);
    }

    template <class T>
    bool value(const std::optional<T>& optional) {
        return optional ? value(*optional) : scalar("null", YAML_PLAIN_SCALAR_STYLE);
    }

    // Entries in byte order of their keys: the maps have no order of their
    // own, and a stable text keeps rewrites of a manifest diffable.
    template <class Entry>
    bool map(const std::unordered_map<std::string, Entry>& entries) {
        std::vector<const std::pair<const std::string, Entry>*> sorted;
        sorted.reserve(entries.size());
        for (const auto& entry : entries) sorted.push_back(&entry);
        std::sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
        if (!mapping_start()) return false;
        for (const auto* entry : sorted) {
            if (!value(entry->first) || !value(entry->second)) return false;
        }
        return mapping_end();
    }

    bool value(const schema::ReaderMap& readers) { return map(readers); }
    bool value(const schema::DocumentMap<schema::ManifestConfig>& document) { return map(document); }

    template <class Record>
        requires requires { schema::RecordSchema<Record>::fields; }
    bool value(const Record& record) {
        if (!mapping_start()) return false;
        bool ok = true;
        schema::for_each_field<Record>([&](const auto& field) {
            ok = ok && value(field.key()) && value(field.of(record));
        });
        return ok && mapping_end();
    }
};

template <class Root>
errors::Result<std::string> written(const Root& root) {
    Writer writer;
    if (!writer.write(root)) return errors::ConfigError(errors::ErrorKind::Serialization, writer.problem());
    return writer.take_output();
}

}  // namespace

errors::Result<std::string> write_document_map(const schema::DocumentMap<schema::ManifestConfig>& document) {
    return written(document);
}

errors::Result<std::string> write_reader(const schema::ReaderConfig& reader) { return written(reader); }

}  // namespace brintel::yaml
