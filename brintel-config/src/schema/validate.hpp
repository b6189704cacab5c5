// Checks a reader record for settings a model worker cannot run with.
#pragma once

#include "schema/records.hpp"
#include "errors/config_error.hpp"

#include <array>
#include <span>
#include <string_view>

namespace brintel::schema {

// The devices a reader may name; the CPU takes no tensor parallelism. The
// first two run the model on the worker itself, and only they are accepted
// when a reader is built in Python.
inline constexpr std::array<std::string_view, 3> devices = {"cpu", "cuda", "api"};
inline constexpr std::string_view cpu_device = devices[0];
inline constexpr std::span<const std::string_view, 2> local_devices = std::span(devices).first<2>();

// Success, or a ValidationErrors error listing every finding in rule order.
// Runs only on request: neither construction nor manifest reading calls it.
errors::Status validate(const ReaderConfig& reader);

}  // namespace brintel::schema
