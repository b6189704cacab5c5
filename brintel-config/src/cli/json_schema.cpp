// The manifest's JSON Schema, generated from the field descriptions: the
// shape in which read_brintel_readers_config reads a manifest.
#include "cli/commands.hpp"

#include "cli/json.hpp"

#include "schema/manifest/manifest.hpp"
#include "schema/validate.hpp"

#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

namespace brintel::cli {
namespace {

using schema::ValueKind;

constexpr std::string_view draft = "https://json-schema.org/draft/2020-12/schema";
constexpr std::string_view title = "brintel manifest";
constexpr std::string_view document_description =
    "A manifest of the serving system as brintel_config reads it. Every top-level entry is read with "
    "the shape of the brintel entry. This schema sees the manifest as data, after a YAML loader has read "
    "it, and so cannot see what brintel-config check refuses in the YAML text itself: integer spellings "
    "that the reader refuses although loaders take them for numbers (-0, 08, 1_000); explicit tags "
    "(!!int \"8\" is a number to a loader, a quoted text to the reader); cuda_visible_devices written as a "
    "number in another form than plain digits (0x1, 0o7, 1_0), which the reader takes as that text and "
    "validation refuses; merge keys (<<), which loaders apply and the reader does not; and "
    "server_config: ~ or null, which the reader refuses while an empty server_config reads. Run "
    "brintel-config check for those.";
constexpr std::string_view product_description = "This product's entry.";
constexpr std::string_view unexpressed_rules =
    " brintel-config check also holds tensor_parallel to at most the number of devices in "
    "cuda_visible_devices, which a JSON Schema cannot express.";

using schema::ReaderConfig;

// Whether `field` describes the reader's `member`.
template <class Field, class Member>
constexpr bool describes(const Field& field, Member ReaderConfig::*member) {
    if constexpr (requires { field.is(member); }) return field.is(member);
    else return false;
}

// The decimal numbers from 0 to `max` as a regular expression: ASCII digits,
// leading zeros allowed. Each alternative keeps the digits of `max` up to
// one that it lowers, and lets the rest be anything.
std::string decimal_at_most(std::uint64_t max) {
    const std::string digits = std::to_string(max);
    std::string out = "0*(?:" + digits;
    if (digits.size() > 1) out += "|[0-9]{1," + std::to_string(digits.size() - 1) + "}";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (digits[i] == '0') continue;
        out.append("|").append(digits, 0, i).append("[0-").append(1, static_cast<char>(digits[i] - 1)).append("]");
        if (const std::size_t rest = digits.size() - i - 1) out += "[0-9]{" + std::to_string(rest) + "}";
    }
    return out + ")";
}

// cuda_visible_devices as validation takes it: device numbers that fit 32
// bits, each with an optional "+", separated by commas.
std::string device_list_pattern() {
    const std::string number = "\\+?" + decimal_at_most(std::numeric_limits<std::uint32_t>::max());
    return "^" + number + "(?:," + number + ")*$";
}

// {"type": "<type>"}
void type_object(JsonWriter& json, std::string_view type) {
    json.begin_object();
    json.member("type", type);
    json.end_object();
}

// The part of reader validation that concerns one field.
template <class Field>
void validation_rules(JsonWriter& json, const Field& field) {
    if (describes(field, &ReaderConfig::device)) {
        json.key("enum");
        json.strings({schema::devices.begin(), schema::devices.end()});
    } else if (describes(field, &ReaderConfig::tensor_parallel)) {
        json.key("anyOf");  // unset, 1, or even
        json.begin_array();
        type_object(json, "null");
        json.begin_object();
        json.member("const", std::uint64_t{1});
        json.end_object();
        json.begin_object();
        json.member("multipleOf", std::uint64_t{2});
        json.member("minimum", std::uint64_t{2});
        json.end_object();
        json.end_array();
    } else if (describes(field, &ReaderConfig::cuda_visible_devices)) {
        json.key("anyOf");  // unset, a list, or one device number written as a number
        json.begin_array();
        type_object(json, "null");
        json.begin_object();
        json.member("type", "string");
        json.member("pattern", device_list_pattern());
        json.end_object();
        json.begin_object();
        json.member("type", "integer");
        json.member("minimum", std::uint64_t{0});
        json.member("maximum", std::uint64_t{std::numeric_limits<std::uint32_t>::max()});
        json.end_object();
        json.end_array();
    }
}

// No tensor parallelism on the CPU: with device cpu, tensor_parallel unset.
void cpu_rule(JsonWriter& json) {
    json.key("if");
    json.begin_object();
    json.key("properties");
    json.begin_object();
    json.key(schema::field_of(&ReaderConfig::device).key());
    json.begin_object();
    json.member("const", schema::cpu_device);
    json.end_object();
    json.end_object();
    json.key("required");
    json.strings({schema::field_of(&ReaderConfig::device).key()});
    json.end_object();
    json.key("then");
    json.begin_object();
    json.key("properties");
    json.begin_object();
    json.key(schema::field_of(&ReaderConfig::tensor_parallel).key());
    type_object(json, "null");
    json.end_object();
    json.end_object();
}

template <class Record>
std::string reference() {
    return "#/$defs/" + std::string(schema::RecordSchema<Record>::name);
}

// "type": the type, with "null" when the value may be left empty.
void type_member(JsonWriter& json, std::string_view type, bool may_be_null) {
    json.key("type");
    if (may_be_null) json.strings({type, "null"});
    else json.string(type);
}

template <class Record>
bool has_required_field() {
    return schema::find_field<Record>([](const auto& field, std::size_t) { return field.required; });
}

// The schema of a field's value.
template <class Field>
void value_schema(JsonWriter& json, const Field& field) {
    using Value = typename Field::value_type;
    json.begin_object();
    json.member("description", field.description);
    if constexpr (std::is_same_v<Value, schema::ReaderMap>) {
        type_member(json, "object", true);  // nothing after the key: no readers
        json.key("additionalProperties");
        json.begin_object();
        json.member("$ref", reference<schema::ReaderConfig>());
        json.end_object();
    } else if constexpr (schema::natural_kind<Value>() == ValueKind::Record) {
        json.member("$ref", reference<Value>());
    } else if constexpr (std::is_same_v<Value, std::string>) {
        json.key("type");  // any scalar reads as its text
        json.strings({"string", "number", "boolean", "null"});
    } else if constexpr (std::is_same_v<Value, bool>) {
        type_member(json, "boolean", Field::optional);
    } else {
        type_member(json, "integer", Field::optional);
        json.member("minimum", std::uint64_t{0});
        json.member("maximum", std::uint64_t{std::numeric_limits<Value>::max()});
    }
    validation_rules(json, field);
    json.end_object();
}

// A record: closed, so that editors flag a misspelt key, and empty (null)
// only where reading requires no key of it.
template <class Record>
void record_definition(JsonWriter& json) {
    json.key(schema::RecordSchema<Record>::name);
    json.begin_object();
    std::string description(schema::RecordSchema<Record>::description);
    if constexpr (std::is_same_v<Record, ReaderConfig>) description += unexpressed_rules;
    json.member("description", description);
    type_member(json, "object", !has_required_field<Record>());
    json.key("properties");
    json.begin_object();
    schema::for_each_field<Record>([&](const auto& field) {
        json.key(field.key());
        value_schema(json, field);
    });
    json.end_object();
    std::vector<std::string_view> required;
    schema::for_each_field<Record>([&](const auto& field) {
        if (field.required) required.push_back(field.key());
    });
    if (!required.empty()) {
        json.key("required");
        json.strings(required);
    }
    json.member("additionalProperties", false);
    if constexpr (std::is_same_v<Record, ReaderConfig>) cpu_rule(json);
    json.end_object();
}

void entry_reference(JsonWriter& json, std::string_view description) {
    json.begin_object();
    if (!description.empty()) json.member("description", description);
    json.member("$ref", reference<schema::OptionManifestConfig>());
    json.end_object();
}

}  // namespace

int print_json_schema(Streams streams) {
    std::string out;
    JsonWriter json(out);
    json.begin_object();
    json.member("$schema", draft);
    json.member("title", title);
    json.member("description", document_description);
    json.member("type", "object");
    json.key("properties");
    json.begin_object();
    json.key(schema::product_key);
    entry_reference(json, product_description);
    json.end_object();
    json.key("required");
    json.strings({schema::product_key});
    json.key("additionalProperties");
    entry_reference(json, {});
    json.key("$defs");
    json.begin_object();
    record_definition<schema::OptionManifestConfig>(json);
    record_definition<schema::OptionAppConfig>(json);
    record_definition<schema::ReaderConfig>(json);
    json.end_object();
    json.end_object();
    streams.out << out << '\n';
    return success;
}

}  // namespace brintel::cli
