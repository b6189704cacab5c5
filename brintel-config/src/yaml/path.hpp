// Where in a document a value sits, as error messages show it.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::yaml {

// A chain of map keys from the root, living on the reader's stack; texts
// are only built when an error needs them.
class Path {
public:
    static Path root() { return Path(nullptr, {}); }
    Path child(std::string_view key) const { return Path(this, key); }
    bool is_root() const { return parent_ == nullptr; }

    // "." for the root, otherwise the keys joined by dots.
    std::string text() const {
        if (is_root()) return ".";
        std::string out = parent_->is_root() ? std::string() : parent_->text() + ".";
        out += key_;
        return out;
    }

    // The keys from the root down to this one.
    std::vector<std::string> keys() const {
        std::vector<std::string> out;
        for (const Path* at = this; !at->is_root(); at = at->parent_) out.emplace_back(at->key_);
        std::ranges::reverse(out);
        return out;
    }

private:
    Path(const Path* parent, std::string_view key) : parent_(parent), key_(key) {}
    const Path* parent_;
    std::string_view key_;
};

}  // namespace brintel::yaml
