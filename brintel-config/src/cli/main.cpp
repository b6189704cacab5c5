#include "commands.hpp"

#include <exception>
#include <iostream>
#include <vector>

namespace {

// A full disk or a closed descriptor must not pass for a clean run.
int checked_output(int status) {
    std::cout.flush();
    if (std::cout) return status;
    std::cerr << "brintel-config: cannot write to standard output\n";
    return brintel::cli::failure;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    try {
        return checked_output(brintel::cli::run(arguments, {std::cout, std::cerr}));
    } catch (const std::exception& error) {
        std::cerr << "brintel-config: " << error.what() << '\n';
        return brintel::cli::failure;
    }
}
