// The whole of `brintel-config check` on any UTF-8 text, printed in every
// format: every finding lies inside the text, the JSON and SARIF forms are
// strict JSON, the text and GitHub forms give one line per finding, and the
// command refuses exactly the manifests that the module's reading refuses.
#include "cli/commands.hpp"
#include "cli/report.hpp"

#include "schema/manifest/manifest.hpp"
#include "yaml/utf8.hpp"
#include "yaml/positions.hpp"
#include "yaml/read.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace {

using namespace brintel;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "check_formats: %s\n", what);
    std::abort();
}

void expect(bool holds, const char* what) {
    if (!holds) fail(what);
}

// A strict JSON recogniser (RFC 8259), nesting bounded: the command's
// output nests a handful of levels.
class Json {
public:
    explicit Json(std::string_view text) : text_(text) {}

    bool document() {
        blanks();
        if (!value(0)) return false;
        blanks();
        return at_ == text_.size();
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;

    bool more() const { return at_ < text_.size(); }
    char peek() const { return more() ? text_[at_] : '\0'; }
    void blanks() {
        while (more() && (peek() == ' ' || peek() == '\n' || peek() == '\t' || peek() == '\r')) ++at_;
    }
    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool value(int depth) {
        if (depth > 32) return false;
        switch (peek()) {
        case '{': return container(depth, '}', true);
        case '[': return container(depth, ']', false);
        case '"': return string();
        case 't': return literal("true");
        case 'f': return literal("false");
        case 'n': return literal("null");
        default: return number();
        }
    }
    bool container(int depth, char close, bool object) {
        ++at_;
        blanks();
        if (peek() == close) return ++at_, true;
        for (;;) {
            blanks();
            if (object && (!string() || (blanks(), !literal(":")))) return false;
            blanks();
            if (!value(depth + 1)) return false;
            blanks();
            if (peek() == close) return ++at_, true;
            if (!literal(",")) return false;
        }
    }
    bool string() {
        if (!literal("\"")) return false;
        while (more()) {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            const char escape = peek();
            ++at_;
            if (escape == 'u') {
                for (int i = 0; i < 4; ++i, ++at_) {
                    if (!std::isxdigit(static_cast<unsigned char>(peek()))) return false;
                }
            } else if (std::string_view("\"\\/bfnrt").find(escape) == std::string_view::npos) {
                return false;
            }
        }
        return false;
    }
    bool number() {
        const std::size_t start = at_;
        literal("-");
        if (!literal("0")) {
            if (!std::isdigit(static_cast<unsigned char>(peek()))) return false;
            while (std::isdigit(static_cast<unsigned char>(peek()))) ++at_;
        }
        return at_ > start;
    }
};

std::size_t count_lines(std::string_view text) { return static_cast<std::size_t>(std::ranges::count(text, '\n')); }

// Whether a position lies inside the text; a column may stand just after
// its line's last character.
void expect_inside(std::string_view text, std::uint64_t line, std::uint64_t column) {
    const yaml::Mark last = yaml::mark_at(text, text.size());
    expect(line >= 1 && line <= std::uint64_t{last.line} + 1, "a finding's line lies outside the text");
    const std::string_view at = yaml::Lines(text).line(static_cast<std::uint32_t>(line - 1));
    const auto characters = static_cast<std::uint64_t>(
        std::ranges::count_if(at, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    expect(column >= 1 && column <= characters + 1, "a finding's column lies outside its line");
}

bool reading_refuses(std::string_view text) {
    auto document = yaml::read_document_map<schema::OptionManifestConfig>(std::string(text));
    return !document || !schema::product_entry_in(document.value());
}

bool is_reading_rule(cli::Rule rule) {
    using cli::Rule;
    return rule == Rule::Syntax || rule == Rule::NoProductKey || rule == Rule::WrongType ||
           rule == Rule::MissingField || rule == Rule::DuplicateField;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (yaml::utf8_prefix(text) != text.size()) return 0;  // the command reports such a file unreadable
    cli::RuleSet all;
    all.set();
    const cli::FileFindings file = cli::check_text("m\n.yaml", text, all);
    for (const cli::Finding& finding : file.findings) {
        expect_inside(text, finding.line, finding.column);
        if (!finding.end) continue;
        expect_inside(text, finding.end->line, finding.end->column);
        expect(finding.end->line > finding.line ||
                   (finding.end->line == finding.line && finding.end->column > finding.column),
               "a finding ends before it starts");
    }
    const bool refused = std::ranges::any_of(file.findings, [](const cli::Finding& f) { return is_reading_rule(f.rule); });
    expect(refused == reading_refuses(text), "check and reading disagree on whether the manifest reads");
    for (const cli::Format format : {cli::Format::Text, cli::Format::Json, cli::Format::Github, cli::Format::Sarif}) {
        std::ostringstream out;
        cli::print_findings(format, {file}, {}, out);
        const std::string printed = out.str();
        if (format == cli::Format::Json || format == cli::Format::Sarif) {
            expect(Json(printed).document(), "the JSON output is not strict JSON");
        } else {
            expect(count_lines(printed) == file.findings.size(), "a finding takes more than one line");
        }
    }
    return 0;
}
