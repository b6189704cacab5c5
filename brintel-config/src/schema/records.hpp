// The configuration records and the one description of their fields.
//
// Every feature that walks a record (YAML reading and writing, the Python
// getters, the dictionary export, the linter) is driven by
// `RecordSchema<R>::fields`, so a field is named, typed and ordered in one
// place. The struct member is the other half of it: the checks at the end of
// this file refuse to compile a member without its description, or one
// described twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace brintel::schema {

struct ReaderConfig {
    std::string model_name;
    std::string device;
    std::string consumer_group;
    std::optional<std::string> redis_host;
    std::optional<std::string> internal_gateway_ip;
    std::optional<std::string> access_token;
    std::optional<std::string> log_level;
    std::optional<std::string> backend;
    std::optional<std::string> cuda_visible_devices;
    std::optional<std::uint64_t> max_batch_size;
    std::optional<std::uint64_t> batch_duration_millis;
    std::optional<std::uint32_t> tensor_parallel;
    std::optional<std::string> quant_type;
    std::optional<std::uint32_t> max_sequence_length;
    std::optional<std::uint32_t> nvlink_unavailable;
    std::optional<std::uint32_t> disable_static;
    std::optional<std::uint32_t> disable_cuda_graph;
    std::optional<std::uint32_t> cuda_graph_cache_capacity;
    std::optional<std::uint32_t> disable_paged_attention;
    std::optional<std::string> page_cache_size;

    bool operator==(const ReaderConfig&) const = default;
};

// Reader ids are unique and carry no order.
using ReaderMap = std::unordered_map<std::string, ReaderConfig>;

struct AppConfig {
    bool echo = false;
    std::uint16_t port = 0;
    bool enable_metrics = false;
    std::uint64_t heartbeat_check_interval = 0;
    std::uint16_t management_port = 0;
    std::uint16_t vertex_port = 0;
    std::uint16_t openai_port = 0;
    std::uint16_t snowflake_port = 0;
    std::uint16_t internal_port = 0;
    std::string repository_path;
    std::size_t body_size_limit_bytes = 0;
    bool allow_remote_images = false;

    bool operator==(const AppConfig&) const = default;
};

// The server settings as read from a manifest: everything may be absent.
struct OptionAppConfig {
    std::optional<bool> echo;
    std::optional<std::uint16_t> port;
    std::optional<bool> enable_metrics;
    std::optional<std::uint64_t> heartbeat_check_interval;
    std::optional<std::uint16_t> management_port;
    std::optional<std::uint16_t> vertex_port;
    std::optional<std::string> repository_path;
    std::optional<std::size_t> body_size_limit_bytes;
    std::optional<std::uint16_t> openai_port;
    std::optional<bool> allow_remote_images;
    std::optional<std::uint16_t> snowflake_port;
    std::optional<std::uint16_t> internal_port;

    bool operator==(const OptionAppConfig&) const = default;
};

struct ManifestConfig {
    AppConfig server_config;
    ReaderMap readers_config;

    bool operator==(const ManifestConfig&) const = default;
};

struct OptionManifestConfig {
    OptionAppConfig server_config;
    ReaderMap readers_config;

    bool operator==(const OptionManifestConfig&) const = default;
};

// A whole manifest: top-level key to manifest record, without order.
template <class Entry>
using DocumentMap = std::unordered_map<std::string, Entry>;

// ---------------------------------------------------------------------------
// Field description

// What a value is, as far as reading, writing and messages care. The width
// of an integer is not enough: u64 and usize share a C++ type but not a name.
enum class ValueKind : std::uint8_t { String, Boolean, U16, U32, U64, USize, Record, ReaderMap };

template <class T>
struct is_optional : std::false_type {};
template <class T>
struct is_optional<std::optional<T>> : std::true_type {};

template <class T>
struct unwrap_optional {
    using type = T;
};
template <class T>
struct unwrap_optional<std::optional<T>> {
    using type = T;
};

// The kind a C++ value type stands for, when the type alone decides it.
template <class T>
constexpr ValueKind natural_kind() {
    using V = typename unwrap_optional<T>::type;
    if constexpr (std::is_same_v<V, std::string>) return ValueKind::String;
    else if constexpr (std::is_same_v<V, bool>) return ValueKind::Boolean;
    else if constexpr (std::is_same_v<V, std::uint16_t>) return ValueKind::U16;
    else if constexpr (std::is_same_v<V, std::uint32_t>) return ValueKind::U32;
    else if constexpr (std::is_same_v<V, std::uint64_t>) return ValueKind::U64;
    else if constexpr (std::is_same_v<V, ReaderMap>) return ValueKind::ReaderMap;
    else return ValueKind::Record;
}

template <class Record, class Member>
struct Field {
    using value_type = typename unwrap_optional<Member>::type;
    static constexpr bool optional = is_optional<Member>::value;
    // Every non-optional field of every record is required on reading.
    static constexpr bool required = !optional;

    // A literal's view, so the NUL after it makes name.data() the C string
    // that names the Python attribute.
    std::string_view name;
    Member Record::*member;
    ValueKind kind;
    std::string_view description;  // for people: what the setting is for

    constexpr std::string_view key() const { return name; }
    constexpr Member& of(Record& record) const { return record.*member; }
    constexpr const Member& of(const Record& record) const { return record.*member; }

    // Whether this field describes `other`; a member of another type never is.
    template <class OtherMember>
    constexpr bool is(OtherMember Record::*other) const {
        if constexpr (std::is_same_v<OtherMember, Member>) return member == other;
        else return false;
    }
};

template <class Record, class Member, std::size_t N>
constexpr Field<Record, Member> field(const char (&name)[N], Member Record::*member,
                                      std::string_view description = {}) {
    return {{name, N - 1}, member, natural_kind<Member>(), description};
}

// usize has the C++ type of u64 but its own name in messages.
template <class Record, class Member, std::size_t N>
constexpr Field<Record, Member> usize_field(const char (&name)[N], Member Record::*member,
                                            std::string_view description = {}) {
    static_assert(std::is_same_v<typename unwrap_optional<Member>::type, std::size_t>);
    return {{name, N - 1}, member, ValueKind::USize, description};
}

template <class Record>
struct RecordSchema;

template <>
struct RecordSchema<ReaderConfig> {
    using R = ReaderConfig;
    static constexpr std::string_view name = "ReaderConfig";
    static constexpr std::string_view description = "The settings of one reader (model worker).";
    static constexpr auto fields = std::make_tuple(
        field("model_name", &R::model_name,
              "The model the reader serves; the constructor refuses an empty one."),
        field("device", &R::device,
              "Where the model runs: \"cpu\" or \"cuda\" for local models, \"api\" for api-based models."),
        field("consumer_group", &R::consumer_group,
              "The reader's consumer group."),
        field("redis_host", &R::redis_host,
              "Host of the Redis server."),
        field("internal_gateway_ip", &R::internal_gateway_ip,
              "IP address of the internal gateway."),
        field("access_token", &R::access_token,
              "Access token of the reader."),
        field("log_level", &R::log_level,
              "Log level, for example \"info\"."),
        field("backend", &R::backend,
              "Inference backend."),
        field("cuda_visible_devices", &R::cuda_visible_devices,
              "GPU device numbers the reader may use, comma-separated, for example \"0,1\"; never exported."),
        field("max_batch_size", &R::max_batch_size,
              "Largest number of requests in one batch."),
        field("batch_duration_millis", &R::batch_duration_millis,
              "How long a batch collects requests, in milliseconds."),
        field("tensor_parallel", &R::tensor_parallel,
              "Degree of tensor parallelism: 1 or even, no more than the devices in cuda_visible_devices, and not on cpu."),
        field("quant_type", &R::quant_type,
              "Quantisation type."),
        field("max_sequence_length", &R::max_sequence_length,
              "Maximum sequence length."),
        field("nvlink_unavailable", &R::nvlink_unavailable,
              "NVLink unavailable: a number (0 or 1), not true or false."),
        field("disable_static", &R::disable_static,
              "Static mode disabled: a number (0 or 1), not true or false."),
        field("disable_cuda_graph", &R::disable_cuda_graph,
              "CUDA graphs disabled: a number (0 or 1), not true or false."),
        field("cuda_graph_cache_capacity", &R::cuda_graph_cache_capacity,
              "Capacity of the CUDA graph cache."),
        field("disable_paged_attention", &R::disable_paged_attention,
              "Paged attention disabled: a number (0 or 1), not true or false."),
        field("page_cache_size", &R::page_cache_size,
              "Page cache size, kept as text: 4096 reads as the string \"4096\"."));
};

// The server settings have two lists, one per record: the records declare
// them in different orders, and each record's order is the order reading
// looks for missing fields in and writing puts keys in. The descriptions for
// people are kept once, in OptionAppConfig (the shape manifests are read in,
// which the linter and the JSON Schema describe), and `same_settings` at the
// end of this file holds the two lists to the same names and kinds.
template <>
struct RecordSchema<AppConfig> {
    using R = AppConfig;
    static constexpr std::string_view name = "AppConfig";
    static constexpr auto fields = std::make_tuple(
        field("echo", &R::echo),
        field("port", &R::port),
        field("enable_metrics", &R::enable_metrics),
        field("heartbeat_check_interval", &R::heartbeat_check_interval),
        field("management_port", &R::management_port),
        field("vertex_port", &R::vertex_port),
        field("openai_port", &R::openai_port),
        field("snowflake_port", &R::snowflake_port),
        field("internal_port", &R::internal_port),
        field("repository_path", &R::repository_path),
        usize_field("body_size_limit_bytes", &R::body_size_limit_bytes),
        field("allow_remote_images", &R::allow_remote_images));
};

template <>
struct RecordSchema<OptionAppConfig> {
    using R = OptionAppConfig;
    static constexpr std::string_view name = "OptionAppConfig";
    static constexpr std::string_view description = "Server-wide settings, every one optional.";
    static constexpr auto fields = std::make_tuple(
        field("echo", &R::echo,
              "Echo switch of the server (true or false)."),
        field("port", &R::port,
              "Port of the main server."),
        field("enable_metrics", &R::enable_metrics,
              "Whether the server exposes metrics."),
        field("heartbeat_check_interval", &R::heartbeat_check_interval,
              "Interval between heartbeat checks."),
        field("management_port", &R::management_port,
              "Port of the management endpoint."),
        field("vertex_port", &R::vertex_port,
              "Port of the Vertex endpoint."),
        field("repository_path", &R::repository_path,
              "Directory of the model repository."),
        usize_field("body_size_limit_bytes", &R::body_size_limit_bytes,
              "Largest request body, in bytes."),
        field("openai_port", &R::openai_port,
              "Port of the OpenAI-compatible endpoint."),
        field("allow_remote_images", &R::allow_remote_images,
              "Whether requests may refer to remote images."),
        field("snowflake_port", &R::snowflake_port,
              "Port of the Snowflake endpoint."),
        field("internal_port", &R::internal_port,
              "Port of the internal endpoint."));
};

template <>
struct RecordSchema<ManifestConfig> {
    using R = ManifestConfig;
    static constexpr std::string_view name = "ManifestConfig";
    static constexpr auto fields = std::make_tuple(
        field("server_config", &R::server_config),
        field("readers_config", &R::readers_config));
};

template <>
struct RecordSchema<OptionManifestConfig> {
    using R = OptionManifestConfig;
    static constexpr std::string_view name = "OptionManifestConfig";
    static constexpr std::string_view description = "A product's entry: the server settings and the readers.";
    static constexpr auto fields = std::make_tuple(
        field("server_config", &R::server_config,
              "Server-wide settings; when reading, every one is optional."),
        field("readers_config", &R::readers_config,
              "The readers (model workers), by reader id."));
};

template <class Record>
constexpr std::size_t field_count = std::tuple_size_v<decltype(RecordSchema<Record>::fields)>;

template <class Record, std::size_t I>
constexpr const auto& field_at() {
    return std::get<I>(RecordSchema<Record>::fields);
}

// Calls `visit(field)` for every field of `Record`, in declared order.
template <class Record, class Visitor>
constexpr void for_each_field(Visitor&& visit) {
    std::apply([&](const auto&... fields) { (visit(fields), ...); }, RecordSchema<Record>::fields);
}

// The description of the field `member` points to. Compile-time only: a
// member without a description does not compile.
template <class Record, class Member>
consteval Field<Record, Member> field_of(Member Record::*member) {
    // A copy, not a pointer: the undefined-behaviour sanitizer's checks of
    // a pointer to a static object are no constant expressions.
    std::optional<Field<Record, Member>> found;
    for_each_field<Record>([&](const auto& field) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field)>, Field<Record, Member>>) {
            if (field.is(member)) found = field;
        }
    });
    if (!found) throw "the member has no field description";
    return *found;
}

// Calls `visit(field, index)`; stops early when `visit` returns true.
template <class Record, class Visitor>
constexpr bool find_field(Visitor&& visit) {
    return std::apply(
        [&](const auto&... fields) {
            std::size_t index = 0;
            return (visit(fields, index++) || ...);
        },
        RecordSchema<Record>::fields);
}

namespace detail {

template <class Record, std::size_t I, class Visitor>
bool visit_if_named(std::string_view key, Visitor& visit) {
    constexpr std::string_view name = field_at<Record, I>().key();
    // A constant length: the compiler compares the bytes in line.
    if (key.size() != name.size() || std::memcmp(key.data(), name.data(), name.size()) != 0) return false;
    visit(field_at<Record, I>(), I);
    return true;
}

}  // namespace detail

// Calls `visit(field, index)` for the field whose key is `key`; false when no
// field has it. This is the lookup of every key that reading meets: a key is
// compared with a field's only when their lengths agree.
template <class Record, class Visitor>
bool visit_field_named(std::string_view key, Visitor&& visit) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return (detail::visit_if_named<Record, I>(key, visit) || ...);
    }(std::make_index_sequence<field_count<Record>>{});
}

// ---------------------------------------------------------------------------
// Compile-time checks that the descriptions cover the records

namespace detail {

// Converts to any member's type, so that the compiler can count the
// initialisers a record takes. Named in unevaluated operands only.
struct AnyMember {
    template <class T>
    operator T() const;
};

// The number of members of the aggregate `Record`: one more initialiser
// than it has members does not compile.
template <class Record, class... Initialisers>
consteval std::size_t member_count() {
    if constexpr (requires { Record{Initialisers{}..., AnyMember{}}; }) {
        return member_count<Record, Initialisers..., AnyMember>();
    } else {
        return sizeof...(Initialisers);
    }
}

}  // namespace detail

// No two descriptions name the same member or the same key.
template <class Record>
consteval bool fields_are_distinct() {
    bool distinct = true;
    find_field<Record>([&](const auto& a, std::size_t i) {
        find_field<Record>([&](const auto& b, std::size_t j) {
            if (i < j && (a.is(b.member) || a.key() == b.key())) distinct = false;
            return false;
        });
        return false;
    });
    return distinct;
}

// Together with fields_are_distinct: every member is described exactly once.
template <class Record>
constexpr std::size_t member_count = detail::member_count<Record>();

static_assert(member_count<ReaderConfig> == field_count<ReaderConfig>,
              "every member of ReaderConfig needs its field(...) entry in RecordSchema<ReaderConfig>");
static_assert(member_count<AppConfig> == field_count<AppConfig>,
              "every member of AppConfig needs its field(...) entry in RecordSchema<AppConfig>");
static_assert(member_count<OptionAppConfig> == field_count<OptionAppConfig>,
              "every member of OptionAppConfig needs its field(...) entry in RecordSchema<OptionAppConfig>");
static_assert(member_count<ManifestConfig> == field_count<ManifestConfig>,
              "every member of ManifestConfig needs its field(...) entry in RecordSchema<ManifestConfig>");
static_assert(member_count<OptionManifestConfig> == field_count<OptionManifestConfig>,
              "every member of OptionManifestConfig needs its field(...) entry in RecordSchema<OptionManifestConfig>");

static_assert(fields_are_distinct<ReaderConfig>() && fields_are_distinct<AppConfig>() &&
                  fields_are_distinct<OptionAppConfig>() && fields_are_distinct<ManifestConfig>() &&
                  fields_are_distinct<OptionManifestConfig>(),
              "a member or a key is described twice");

// The two server records hold the same settings, each under the same key
// with the same kind, whatever their orders.
template <class A, class B>
consteval bool same_settings() {
    bool same = field_count<A> == field_count<B>;
    find_field<A>([&](const auto& a, std::size_t) {
        const bool found = find_field<B>(
            [&](const auto& b, std::size_t) { return a.key() == b.key() && a.kind == b.kind; });
        same = same && found;
        return !same;
    });
    return same;
}

static_assert(same_settings<AppConfig, OptionAppConfig>(),
              "AppConfig and OptionAppConfig must describe the same settings with the same kinds");

}  // namespace brintel::schema
