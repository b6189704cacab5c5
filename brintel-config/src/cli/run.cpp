// Command-line parsing: a command name, then its options and operands;
// --help anywhere before "--" asks for the command's help.
#include "cli/commands.hpp"
#include "cli/suggest.hpp"
#include "cli/version.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace brintel::cli {
namespace {

// A flag, or an option with a value: one of `choices`, or any when there are
// none (then named `value_name` in the help) that `refusal` does not refuse.
struct Option {
    std::string_view name;
    std::string_view value_name;
    std::span<const std::string_view> choices;
    std::string_view help;
    std::span<const std::string_view> choice_help;  // one line per choice
    std::string (*refusal)(std::string_view value) = nullptr;  // why a value is unusable, "" when it is not

    bool takes_value() const { return !value_name.empty() || !choices.empty(); }
};

struct Arguments {
    std::vector<std::string> operands;
    std::vector<std::pair<std::string_view, std::string>> options;  // name and value, as given

    // The value given last, "" for a flag; nullopt when not given.
    std::optional<std::string_view> option(std::string_view name) const {
        std::optional<std::string_view> value;
        for (const auto& [given, text] : options) {
            if (given == name) value = text;
        }
        return value;
    }

    // Every value given, in order.
    std::vector<std::string_view> values(std::string_view name) const {
        std::vector<std::string_view> out;
        for (const auto& [given, text] : options) {
            if (given == name) out.emplace_back(text);
        }
        return out;
    }
};

struct Command {
    std::string_view name;
    std::array<std::string_view, 2> operand_names;  // unused ones are empty
    std::size_t required_operands;
    bool repeats_last_operand;
    std::span<const Option> options;
    std::string_view summary;
    std::string_view description;
    bool lists_rules;
    std::string_view epilogue;  // after the options and rules
    int (*run)(const Arguments& arguments, Streams streams);

    std::size_t operand_count() const { return operand_names[0].empty() ? 0 : operand_names[1].empty() ? 1 : 2; }
};

constexpr std::string_view all_rules = "all";
constexpr std::array colour_names = {std::string_view("auto"), std::string_view("always"),
                                     std::string_view("never")};
constexpr std::array colour_help = {
    std::string_view("on a terminal (not TERM=dumb); NO_COLOR turns it off, FORCE_COLOR or CLICOLOR_FORCE on\n"
                     "            (the default)"),
    std::string_view("whatever the output and the environment"), std::string_view("not at all")};

// Calls `visit(name)` for each name of a comma-separated list of rules.
template <class Visitor>
void for_each_listed(std::string_view list, Visitor&& visit) {
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        if (comma > 0) visit(list.substr(0, comma));
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
}

std::string rule_list_refusal(std::string_view list) {
    std::vector<std::string_view> names = {all_rules};
    for (const RuleInfo& rule : rules) names.push_back(rule.name);
    std::string refusal;
    for_each_listed(list, [&](std::string_view name) {
        if (!refusal.empty() || std::ranges::find(names, name) != names.end()) return;
        refusal = "unknown rule '" + std::string(name) + "'";
        if (const auto near = closest(name, names)) refusal.append("; did you mean '").append(*near).append("'?");
    });
    return refusal;
}

constexpr std::array<Option, 6> check_options = {
    Option{"--format", {}, format_names, "how findings are printed:", format_help},
    Option{"--strict", {}, {}, "warnings fail as errors do", {}},
    Option{"--select", "RULES", {}, "report only these rules (comma-separated; 'all' for every rule)", {},
           rule_list_refusal},
    Option{"--ignore", "RULES", {}, "do not report these rules (comma-separated)", {}, rule_list_refusal},
    Option{"--color", {}, colour_names, "when findings are coloured:", colour_help},
    Option{"--stdin-filename", "NAME", {}, "the name shown for the manifest read from standard input", {}},
};

// The rules of --select (all that are given) less those of --ignore.
RuleSet selected_rules(const Arguments& arguments) {
    const std::vector<std::string_view> selects = arguments.values("--select");
    RuleSet selected = selects.empty() ? default_rules() : RuleSet();
    const auto set = [&](std::string_view name, bool on) {
        if (name == all_rules) on ? selected.set() : selected.reset();
        else if (const auto rule = rule_named(name)) selected[static_cast<std::size_t>(*rule)] = on;
    };
    for (const std::string_view list : selects) for_each_listed(list, [&](std::string_view name) { set(name, true); });
    for (const std::string_view list : arguments.values("--ignore")) {
        for_each_listed(list, [&](std::string_view name) { set(name, false); });
    }
    return selected;
}

int run_check(const Arguments& arguments, Streams streams) {
    CheckOptions options;
    options.format = format_named(arguments.option("--format").value_or("text")).value_or(Format::Text);
    options.strict = arguments.option("--strict").has_value();
    if (const auto name = arguments.option("--stdin-filename")) options.stdin_filename = std::string(*name);
    options.selected = selected_rules(arguments);
    const std::string_view colour = arguments.option("--color").value_or("auto");
    options.colour = static_cast<Colour>(std::ranges::find(colour_names, colour) - colour_names.begin());
    return check_manifests(arguments.operands, options, streams);
}

constexpr std::array show_format_help = {std::string_view("a JSON object (the default)"),
                                         std::string_view("a YAML mapping, as a manifest holds a reader")};
constexpr std::array<Option, 1> show_options = {
    Option{"--format", {}, show_format_names, "how the reader is printed:", show_format_help},
};

int run_show(const Arguments& arguments, Streams streams) {
    const std::string_view format = arguments.option("--format").value_or("json");
    const auto chosen = static_cast<ShowFormat>(std::ranges::find(show_format_names, format) - show_format_names.begin());
    std::optional<std::string> reader_id;
    if (arguments.operands.size() > 1) reader_id = arguments.operands[1];
    return show_reader(arguments.operands[0], reader_id, chosen, streams);
}

constexpr std::array rules_format_names = {std::string_view("text"), std::string_view("json")};
constexpr std::array rules_format_help = {std::string_view("each rule with its manifests (the default)"),
                                          std::string_view("a JSON array of the rules")};
constexpr std::array<Option, 1> rules_options = {
    Option{"--format", {}, rules_format_names, "how the rules are printed:", rules_format_help},
};

const std::array commands = {
    Command{
        "check",
        {"MANIFEST", ""},
        1,
        true,
        check_options,
        "check manifests: reading, validation, and what reading lets pass",
        "Read each MANIFEST as brintel_config.read_brintel_readers_config does, then\n"
        "go on through all of it: every problem that makes reading fail, each at its\n"
        "own position; the validation findings of every reader that reads; and in\n"
        "the brintel entry, what reading lets pass: keys that no setting has, merge\n"
        "keys, and keys given twice. MANIFEST - is standard input; a directory\n"
        "stands for the *.yaml and *.yml files below it. Each finding is one line\n"
        "  FILE:LINE:COLUMN: SEVERITY: MESSAGE [RULE]\n"
        "in order of position; on a terminal, a last line counts them.\n",
        true,
        "A comment '# brintel-config: ignore[RULE,...]' suppresses the warnings of\n"
        "those rules on its line, '# brintel-config: ignore-file[RULE,...]' in the\n"
        "whole file; errors cannot be suppressed. Run 'brintel-config rules' for\n"
        "each rule's manifests.\n"
        "\n"
        "Exit status: 0 without errors (warnings allowed), 1 with an error or,\n"
        "under --strict, a warning; 2 for wrong arguments or a file that cannot be\n"
        "read or is not UTF-8. Of several manifests, each is checked and the\n"
        "highest status wins.\n",
        run_check,
    },
    Command{
        "show",
        {"MANIFEST", "READER_ID"},
        1,
        false,
        show_options,
        "print a reader's settings, or list the reader ids",
        "Print every setting of reader READER_ID of MANIFEST, in declared field\n"
        "order, unset ones as null; without READER_ID, list the manifest's reader\n"
        "ids, one a line. MANIFEST - is standard input. A reader that fails\n"
        "ReaderConfig.validate() is printed, with its findings on standard error.\n",
        false,
        "Exit status: 0 when printed, 1 when the reader fails validation, 2 when\n"
        "the manifest cannot be read or has no such reader (the reason goes to\n"
        "standard error).\n",
        run_show,
    },
    Command{
        "rules",
        {"", ""},
        0,
        false,
        rules_options,
        "list the rules of check, each with a manifest it reports",
        "Print every rule of check: its name, severity and what it finds, with a\n"
        "manifest that it reports and the same put right.\n",
        false,
        "Exit status: 0.\n",
        [](const Arguments& arguments, Streams streams) {
            const bool json = arguments.option("--format").value_or("text") == "json";
            return print_rules(json ? Format::Json : Format::Text, streams);
        },
    },
    Command{
        "schema",
        {"", ""},
        0,
        false,
        {},
        "print the manifest's JSON Schema",
        "Print a JSON Schema (draft 2020-12) of the manifest, for editors and\n"
        "validators: the settings' types, number ranges and descriptions, the keys\n"
        "that reading requires, no keys besides the settings in a record, and the\n"
        "reader validation rules that a schema can express.\n",
        false,
        "Exit status: 0.\n",
        [](const Arguments&, Streams streams) { return print_json_schema(streams); },
    },
};

// "--format text|json|github", "--stdin-filename NAME", "--strict".
std::string option_form(const Option& option) {
    std::string form(option.name);
    const char* separator = " ";
    for (const std::string_view choice : option.choices) {
        form.append(separator).append(choice);
        separator = "|";
    }
    if (!option.value_name.empty()) form.append(" ").append(option.value_name);
    return form;
}

std::string usage_line(const Command& command) {
    std::string line(program);
    line.append(" ").append(command.name);
    for (const Option& option : command.options) line.append(" [").append(option_form(option)).append("]");
    for (std::size_t i = 0; i < command.operand_count(); ++i) {
        const bool optional = i >= command.required_operands;
        line.append(optional ? " [" : " ").append(command.operand_names[i]).append(optional ? "]" : "");
    }
    if (command.repeats_last_operand) line.append("...");
    return line;
}

void print_program_usage(std::ostream& out) {
    const char* lead = "usage: ";
    for (const Command& command : commands) {
        out << lead << usage_line(command) << '\n';
        lead = "       ";
    }
}

constexpr std::size_t summary_column = 8;
constexpr std::size_t option_column = 28;
constexpr std::size_t rule_column = 17;
constexpr std::size_t severity_column = 9;

// `name` followed by blanks up to `width`, and by at least one.
std::string padded(std::string_view name, std::size_t width) {
    return std::string(name) + std::string(name.size() < width ? width - name.size() : 1, ' ');
}

void print_program_help(std::ostream& out) {
    print_program_usage(out);
    out << "\nCheck and inspect manifests with the reader of the brintel_config module.\n"
        << "\nCommands:\n";
    for (const Command& command : commands) {
        out << "  " << padded(command.name, summary_column) << command.summary << '\n';
    }
    out << "\nRun '" << program << " COMMAND --help' for a command's details,\n'" << program
        << " --version' for its version.\n";
}

void print_options(const Command& command, std::ostream& out) {
    if (command.options.empty()) return;
    out << "\nOptions:\n";
    for (const Option& option : command.options) {
        out << "  " << padded(option_form(option), option_column) << option.help << '\n';
        for (std::size_t i = 0; i < option.choice_help.size(); ++i) {
            out << std::string(4, ' ') << padded(option.choices[i], summary_column) << option.choice_help[i] << '\n';
        }
    }
}

void print_rules(std::ostream& out) {
    out << "\nRules:\n";
    for (const RuleInfo& rule : rules) {
        out << "  " << padded(rule.name, rule_column)
            << padded(severity_name(rule.severity), severity_column) << rule.summary << '\n';
    }
}

void print_command_help(const Command& command, std::ostream& out) {
    out << "usage: " << usage_line(command) << "\n\n" << command.description;
    print_options(command, out);
    if (command.lists_rules) print_rules(out);
    out << '\n' << command.epilogue;
}

int program_usage_error(const std::string& message, Streams streams) {
    streams.err << program << ": " << message << '\n';
    print_program_usage(streams.err);
    return failure;
}

int command_usage_error(const Command& command, const std::string& message, Streams streams) {
    streams.err << program << ' ' << command.name << ": " << message << '\n'
                << "usage: " << usage_line(command) << '\n';
    return failure;
}

bool is_help(std::string_view argument) { return argument == "-h" || argument == "--help"; }

const Command* find_command(std::string_view name) {
    for (const Command& command : commands) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

const Option* find_option(const Command& command, std::string_view name) {
    for (const Option& option : command.options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

std::string choice_list(const Option& option) {
    std::string out;
    for (std::size_t i = 0; i < option.choices.size(); ++i) {
        if (i > 0) out += i + 1 == option.choices.size() ? " or " : ", ";
        out += option.choices[i];
    }
    return out;
}

struct Parsed {
    Arguments arguments;
    bool help = false;
    std::string error;
};

// Takes the option at `arguments[at]`, "--name", "--name=value" or "--name
// value"; returns the index of its last argument, or sets `parsed.error`.
std::size_t take_option(const Command& command, std::span<const std::string_view> arguments, std::size_t at,
                        Parsed& parsed) {
    const std::string_view argument = arguments[at];
    const std::size_t equals = argument.find('=');
    const Option* option = find_option(command, argument.substr(0, equals));
    if (!option) {
        parsed.error = "unknown option '" + std::string(argument) + "'";
        return at;
    }
    std::optional<std::string_view> value;
    if (equals != std::string_view::npos) value = argument.substr(equals + 1);
    if (!option->takes_value()) {
        if (value) parsed.error = "option '" + std::string(option->name) + "' takes no value";
        parsed.arguments.options.emplace_back(option->name, "");
        return at;
    }
    if (!value && at + 1 < arguments.size()) value = arguments[++at];
    if (!value) {
        parsed.error = "option '" + std::string(option->name) + "' needs a value";
        if (!option->choices.empty()) parsed.error += ": " + choice_list(*option);
    } else if (!option->choices.empty() && std::ranges::find(option->choices, *value) == option->choices.end()) {
        parsed.error = "invalid value '" + std::string(*value) + "' for option '" + std::string(option->name) +
                       "': choose " + choice_list(*option);
    } else if (option->refusal) {
        if (const std::string refusal = option->refusal(*value); !refusal.empty()) {
            parsed.error = refusal + " for option '" + std::string(option->name) + "'";
        }
    }
    parsed.arguments.options.emplace_back(option->name, std::string(value.value_or("")));
    return at;
}

Parsed parse_arguments(const Command& command, std::span<const std::string_view> arguments) {
    Parsed parsed;
    bool options_ended = false;
    for (std::size_t at = 0; at < arguments.size() && parsed.error.empty(); ++at) {
        const std::string_view argument = arguments[at];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && is_help(argument)) {
            parsed.help = true;
            return parsed;
        } else if (!options_ended && argument.size() > 1 && argument.front() == '-') {
            at = take_option(command, arguments, at, parsed);
        } else {
            parsed.arguments.operands.emplace_back(argument);
        }
    }
    return parsed;
}

std::string count_error(const Command& command, const std::vector<std::string>& values) {
    if (values.size() < command.required_operands) {
        return "missing " + std::string(command.operand_names[values.size()]);
    }
    if (values.size() > command.operand_count() && !command.repeats_last_operand) {
        return "unexpected argument '" + values[command.operand_count()] + "'";
    }
    return {};
}

int run_command(const Command& command, std::span<const std::string_view> arguments, Streams streams) {
    Parsed parsed = parse_arguments(command, arguments);
    if (parsed.help) {
        print_command_help(command, streams.out);
        return success;
    }
    if (parsed.error.empty()) parsed.error = count_error(command, parsed.arguments.operands);
    if (!parsed.error.empty()) return command_usage_error(command, parsed.error, streams);
    return command.run(parsed.arguments, streams);
}

}  // namespace

int run(std::span<const std::string_view> arguments, Streams streams) {
    if (arguments.empty()) return program_usage_error("missing command", streams);
    const std::string_view first = arguments.front();
    if (is_help(first)) {
        print_program_help(streams.out);
        return success;
    }
    if (first == "--version") {
        streams.out << program << ' ' << program_version() << '\n';
        return success;
    }
    const Command* command = find_command(first);
    if (!command) {
        const std::string what = first.starts_with('-') ? "unknown option '" : "unknown command '";
        return program_usage_error(what + std::string(first) + "'", streams);
    }
    return run_command(*command, arguments.subspan(1), streams);
}

}  // namespace brintel::cli
