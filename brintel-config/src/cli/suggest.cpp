#include "cli/suggest.hpp"

#include <algorithm>
#include <numeric>
#include <vector>

namespace brintel::cli {
namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_letter(char a, char b) { return ascii_lower(a) == ascii_lower(b); }

}  // namespace

// The optimal-string-alignment distance, three rows at a time.
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit) {
    if (std::max(a.size(), b.size()) - std::min(a.size(), b.size()) > limit) return limit + 1;
    std::vector<std::size_t> before(b.size() + 1);
    std::vector<std::size_t> above(b.size() + 1);
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(above.begin(), above.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t substitution = above[j - 1] + (same_letter(a[i - 1], b[j - 1]) ? 0 : 1);
            row[j] = std::min({above[j] + 1, row[j - 1] + 1, substitution});
            if (i > 1 && j > 1 && same_letter(a[i - 1], b[j - 2]) && same_letter(a[i - 2], b[j - 1])) {
                row[j] = std::min(row[j], before[j - 2] + 1);
            }
        }
        std::swap(before, above);
        std::swap(above, row);
    }
    return above.back();
}

std::optional<std::string_view> closest(std::string_view key, std::span<const std::string_view> candidates) {
    const std::size_t limit = std::max<std::size_t>(1, key.size() / 3);
    std::optional<std::string_view> best;
    std::size_t best_distance = limit + 1;
    for (const std::string_view candidate : candidates) {
        const std::size_t distance = edit_distance(key, candidate, limit);
        if (distance < best_distance) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

}  // namespace brintel::cli
