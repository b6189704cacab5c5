// The entries a reader exports as a plain dictionary, shared by
// ReaderConfig.dict_without_optionals() and the shell command so that both
// show the same settings.
#pragma once

#include "schema/records.hpp"

#include <string_view>
#include <type_traits>

namespace brintel::schema {

// Workers take the device list from their environment, not from the export.
inline constexpr auto never_exported = &ReaderConfig::cuda_visible_devices;

// Calls `visit(name, value)` for every set field except `never_exported`, in
// declared order; `value` is a std::string or an unsigned integer.
template <class Visitor>
void for_each_exported(const ReaderConfig& reader, Visitor&& visit) {
    for_each_field<ReaderConfig>([&](const auto& field) {
        using Field = std::remove_cvref_t<decltype(field)>;
        if (field.is(never_exported)) return;
        const auto& member = field.of(reader);
        if constexpr (Field::optional) {
            if (member) visit(field.key(), *member);
        } else {
            visit(field.key(), member);
        }
    });
}

}  // namespace brintel::schema
