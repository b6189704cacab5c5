// The entries a reader exports as a plain dictionary, shared by
// ReaderConfig.dict_without_optionals() and the shell command so that both
// show the same settings.
#pragma once

#include "schema/records.hpp"

#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>

namespace brintel::schema {

// Workers take the device list from their environment, not from the export.
inline constexpr auto never_exported = &ReaderConfig::cuda_visible_devices;

namespace detail {

// The export is one loop unrolled over the fields: always inlined, since
// clang otherwise leaves a call per field and per visit, more than doubling
// the instructions of an export.
template <std::size_t I, class Visitor>
[[gnu::always_inline]] inline void export_at(const ReaderConfig& reader, Visitor& visit) {
    constexpr auto field = field_at<ReaderConfig, I>();
    if constexpr (!field.is(never_exported)) {
        const auto& member = field.of(reader);
        if constexpr (field.optional) {
            if (member) visit(std::integral_constant<std::size_t, I>{}, *member);
        } else {
            visit(std::integral_constant<std::size_t, I>{}, member);
        }
    }
}

template <class Visitor, std::size_t... I>
[[gnu::always_inline]] inline void export_each(const ReaderConfig& reader, Visitor& visit, std::index_sequence<I...>) {
    (export_at<I>(reader, visit), ...);
}

}  // namespace detail

// Calls `visit(index, value)` for every set field except `never_exported`, in
// declared order: `index` is the field's place in the description, as a
// std::integral_constant; `value` is a std::string or an unsigned integer.
// The visitor is called in line wherever it is marked always_inline.
template <class Visitor>
[[gnu::always_inline]] inline void for_each_exported_at(const ReaderConfig& reader, Visitor&& visit) {
    detail::export_each(reader, visit, std::make_index_sequence<field_count<ReaderConfig>>{});
}

// The same with each field's name: `visit(name, value)`.
template <class Visitor>
void for_each_exported(const ReaderConfig& reader, Visitor&& visit) {
    for_each_exported_at(reader, [&](auto index, const auto& value) {
        visit(field_at<ReaderConfig, index>().key(), value);
    });
}

}  // namespace brintel::schema
