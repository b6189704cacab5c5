// Command-line parsing: a command name, then its operands; --help anywhere
// before "--" asks for the command's help.
#include "commands.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace brintel::cli {
namespace {

constexpr std::string_view program = "brintel-config";

struct Command {
    std::string_view name;
    std::array<std::string_view, 2> operand_names;  // unused ones are empty
    std::string_view summary;
    std::string_view description;
    int (*run)(const std::vector<std::string>& operands, Streams streams);

    std::size_t operand_count() const { return operand_names[1].empty() ? 1 : 2; }
};

const std::array commands = {
    Command{
        "check",
        {"MANIFEST", ""},
        "validate every reader of a manifest",
        "Read MANIFEST as brintel_config.read_brintel_readers_config does and validate\n"
        "every reader, in order of reader id. Each problem is printed as one line:\n"
        "  <reader id>: <field>: <reason>\n"
        "\n"
        "Exit status: 0 when every reader is sound, 1 when a reader has problems,\n"
        "2 when the manifest cannot be read (the reason goes to standard error).\n",
        [](const std::vector<std::string>& operands, Streams streams) {
            return check_manifest(operands[0], streams);
        },
    },
    Command{
        "show",
        {"MANIFEST", "READER_ID"},
        "print one reader's settings as JSON",
        "Print the settings of reader READER_ID of MANIFEST as a JSON object: the\n"
        "entries of ReaderConfig.dict_without_optionals(), in declared field order.\n"
        "\n"
        "Exit status: 0 when printed, 2 when the manifest cannot be read or has no\n"
        "such reader (the reason goes to standard error).\n",
        [](const std::vector<std::string>& operands, Streams streams) {
            return show_reader(operands[0], operands[1], streams);
        },
    },
};

std::string usage_line(const Command& command) {
    std::string line(program);
    line.append(" ").append(command.name);
    for (std::size_t i = 0; i < command.operand_count(); ++i) {
        line.append(" ").append(command.operand_names[i]);
    }
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
    out << "\nRun '" << program << " COMMAND --help' for a command's details.\n";
}

void print_command_help(const Command& command, std::ostream& out) {
    out << "usage: " << usage_line(command) << "\n\n" << command.description;
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

struct Operands {
    std::vector<std::string> values;
    bool help = false;
    std::string error;
};

Operands collect_operands(std::span<const std::string_view> arguments) {
    Operands operands;
    bool options_ended = false;
    for (const std::string_view argument : arguments) {
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && is_help(argument)) {
            operands.help = true;
            return operands;
        } else if (!options_ended && argument.size() > 1 && argument.front() == '-') {
            operands.error = "unknown option '" + std::string(argument) + "'";
            return operands;
        } else {
            operands.values.emplace_back(argument);
        }
    }
    return operands;
}

std::string count_error(const Command& command, const std::vector<std::string>& values) {
    if (values.size() < command.operand_count()) {
        return "missing " + std::string(command.operand_names[values.size()]);
    }
    if (values.size() > command.operand_count()) {
        return "unexpected argument '" + values[command.operand_count()] + "'";
    }
    return {};
}

int run_command(const Command& command, std::span<const std::string_view> arguments, Streams streams) {
    Operands operands = collect_operands(arguments);
    if (operands.help) {
        print_command_help(command, streams.out);
        return success;
    }
    if (operands.error.empty()) operands.error = count_error(command, operands.values);
    if (!operands.error.empty()) return command_usage_error(command, operands.error, streams);
    return command.run(operands.values, streams);
}

}  // namespace

int run(std::span<const std::string_view> arguments, Streams streams) {
    if (arguments.empty()) return program_usage_error("missing command", streams);
    const std::string_view first = arguments.front();
    if (is_help(first)) {
        print_program_help(streams.out);
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
