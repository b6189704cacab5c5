// libyaml's bare event parse of a file, timed: the floor any YAML reader
// built on libyaml stands on. Prints the median of the runs in seconds.
//
// usage: bare_parse FILE RUNS
#include <yaml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool parse_all(const std::string& text) {
    yaml_parser_t parser;
    if (!yaml_parser_initialize(&parser)) return false;
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
    bool ok = true;
    for (bool done = false; !done;) {
        yaml_event_t event;
        if (!yaml_parser_parse(&parser, &event)) {
            ok = false;
            break;
        }
        done = event.type == YAML_STREAM_END_EVENT;
        yaml_event_delete(&event);
    }
    yaml_parser_delete(&parser);
    return ok;
}

// In one read of the known size: copying through a stream iterator would
// cost a tenth of the parse and flatter every reader measured against it.
std::string read_file(const char* path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        std::fprintf(stderr, "bare_parse: cannot read %s\n", path);
        std::exit(1);
    }
    std::string text(static_cast<std::size_t>(file.tellg()), '\0');
    file.seekg(0);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bare_parse FILE RUNS\n");
        return 2;
    }
    const int runs = std::atoi(argv[2]);
    if (runs < 1) {
        std::fprintf(stderr, "bare_parse: RUNS must be at least 1\n");
        return 2;
    }
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        // Reading the file is part of every reader's work, so it is timed too.
        const std::string text = read_file(argv[1]);
        if (!parse_all(text)) return 1;
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(seconds.begin(), seconds.begin() + runs / 2, seconds.end());
    std::printf("%.9f\n", seconds[runs / 2]);
    return 0;
}
