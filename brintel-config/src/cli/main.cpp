#include "cli/main.hpp"

#include "cli/commands.hpp"

#include <exception>
#include <iostream>

namespace brintel::cli {
namespace {

// A full disk or a closed descriptor must not pass for a clean run.
int checked_output(int status) {
    std::cout.flush();
    if (std::cout) return status;
    std::cerr << "brintel-config: cannot write to standard output\n";
    return failure;
}

}  // namespace

int command_main(std::span<const std::string_view> arguments) noexcept {
    try {
        return checked_output(run(arguments, {std::cout, std::cerr}));
    } catch (const std::exception& error) {
        std::cerr << "brintel-config: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "brintel-config: internal failure\n";
    }
    return failure;
}

}  // namespace brintel::cli
