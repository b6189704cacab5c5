// `brintel-config rules`: every rule of check with the manifests of its row.
#include "cli/commands.hpp"

#include "cli/json.hpp"

namespace brintel::cli {
namespace {

// `text` with every line indented.
std::string indented(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        out.append("    ").append(one_line(text.substr(0, end).substr(0, end - (text[end - 1] == '\n'))));
        out += '\n';
        text.remove_prefix(end);
    }
    return out;
}

void print_json(std::ostream& out) {
    std::string text;
    JsonWriter json(text);
    json.begin_array();
    for (const RuleInfo& rule : rules) {
        json.begin_object();
        json.member("name", rule.name);
        json.member("severity", severity_name(rule.severity));
        json.member("default", rule.by_default);
        json.member("summary", rule.summary);
        json.member("example", rule.example);
        json.member("fixed", rule.fixed);
        json.end_object();
    }
    json.end_array();
    out << text << '\n';
}

void print_text(std::ostream& out) {
    const char* separator = "";
    for (const RuleInfo& rule : rules) {
        out << separator << rule.name << " (" << severity_name(rule.severity)
            << (rule.by_default ? "" : ", only when selected") << "): " << rule.summary << "\n\n  Reported:\n"
            << indented(rule.example) << "  Not reported:\n" << indented(rule.fixed);
        separator = "\n";
    }
}

}  // namespace

int print_rules(Format format, Streams streams) {
    if (format == Format::Json) print_json(streams.out);
    else print_text(streams.out);
    return success;
}

}  // namespace brintel::cli
