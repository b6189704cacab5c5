#include "schema/validate.hpp"

#include "schema/reasons.hpp"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace brintel::schema {
namespace {

using Findings = std::vector<errors::ValidationError>;

// The findings name their fields by the keys of the one field description.
constexpr std::string_view tensor_parallel_key = field_of(&ReaderConfig::tensor_parallel).key();
constexpr std::string_view device_key = field_of(&ReaderConfig::device).key();
constexpr std::string_view cuda_visible_devices_key = field_of(&ReaderConfig::cuda_visible_devices).key();

void add_finding(Findings& findings, std::string_view field, std::string_view reason) {
    findings.push_back({errors::Where::named(std::string(field)),
                        errors::ErrorType::invalid(std::string(reason))});
}

// Empty pieces count: "" is one piece and "0,1," three.
std::vector<std::string_view> split_at_commas(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (std::size_t comma = text.find(','); comma != std::string_view::npos; comma = text.find(',')) {
        pieces.push_back(text.substr(0, comma));
        text.remove_prefix(comma + 1);
    }
    pieces.push_back(text);
    return pieces;
}

// An optional single "+", then ASCII digits only, fitting 32 bits.
bool is_device_number(std::string_view piece) {
    if (piece.starts_with('+')) piece.remove_prefix(1);
    std::uint32_t number = 0;
    const char* end = piece.data() + piece.size();
    const auto [stop, error] = std::from_chars(piece.data(), end, number);
    return error == std::errc{} && stop == end;
}

void check_cpu_parallelism(const ReaderConfig& reader, Findings& findings) {
    if (reader.device == cpu_device && reader.tensor_parallel) {
        add_finding(findings, tensor_parallel_key, reason::cpu_parallelism);
    }
}

void check_device(const ReaderConfig& reader, Findings& findings) {
    if (std::ranges::find(devices, reader.device) == devices.end()) {
        add_finding(findings, device_key, reason::unknown_device);
    }
}

void check_device_count(const ReaderConfig& reader, Findings& findings) {
    if (!reader.cuda_visible_devices || !reader.tensor_parallel) return;
    if (split_at_commas(*reader.cuda_visible_devices).size() < *reader.tensor_parallel) {
        add_finding(findings, tensor_parallel_key, reason::more_parallelism_than_devices);
    }
}

void check_parallelism_value(const ReaderConfig& reader, Findings& findings) {
    if (!reader.tensor_parallel) return;
    const std::uint32_t degree = *reader.tensor_parallel;
    if (degree >= 2 && degree % 2 == 1) add_finding(findings, tensor_parallel_key, reason::odd_parallelism);
    else if (degree == 0) add_finding(findings, tensor_parallel_key, reason::zero_parallelism);
}

// One finding at most, however many pieces are malformed.
void check_device_list(const ReaderConfig& reader, Findings& findings) {
    if (!reader.cuda_visible_devices) return;
    for (std::string_view piece : split_at_commas(*reader.cuda_visible_devices)) {
        if (!is_device_number(piece)) {
            add_finding(findings, cuda_visible_devices_key, reason::malformed_device_list);
            return;
        }
    }
}

}  // namespace

errors::Status validate(const ReaderConfig& reader) {
    Findings findings;
    check_cpu_parallelism(reader, findings);
    check_device(reader, findings);
    check_device_count(reader, findings);
    check_parallelism_value(reader, findings);
    check_device_list(reader, findings);
    if (findings.empty()) return errors::success();
    return errors::ConfigError::validation(std::move(findings));
}

}  // namespace brintel::schema
