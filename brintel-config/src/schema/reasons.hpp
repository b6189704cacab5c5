// The reasons validation gives for its findings. Callers and tests compare
// them byte for byte, so each is spelled here and nowhere else.
#pragma once

#include <string_view>

namespace brintel::schema::reason {

inline constexpr std::string_view cpu_parallelism = "tensor_parallel is not supported on cpu";
inline constexpr std::string_view unknown_device =
    "device must be either 'cpu' or 'cuda' for local models, or 'api' for api-based models";
inline constexpr std::string_view more_parallelism_than_devices =
    "If providing cuda_visible_devices, tensor_parallel cannot be larger than the number of "
    "devices provided";
inline constexpr std::string_view odd_parallelism = "tensor_parallel must be 1 or even, if specified.";
inline constexpr std::string_view zero_parallelism = "tensor_parallel must be at least 1, if specified.";
inline constexpr std::string_view malformed_device_list =
    "cuda_visible_devices must be a comma separated string of integers like '0,1'";

}  // namespace brintel::schema::reason
