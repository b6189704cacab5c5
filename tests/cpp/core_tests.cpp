// Checks of the C++ core that Python cannot reach: the unique reader ids
// that no Python entry point asks for, and errors as plain values.
#include "errors/config_error.hpp"
#include "schema/manifest/manifest.hpp"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

int passed = 0;
int failed = 0;

void check(bool condition, const std::string& what) {
    if (condition) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

using namespace brintel;

const std::regex uuid_suffix("_[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");

std::string write_manifest(const std::string& text) {
    char name[] = "/tmp/brintel-core-test-XXXXXX";
    const int fd = ::mkstemp(name);
    ::close(fd);
    std::ofstream(name) << text;
    return name;
}

const char* two_readers =
    "brintel:\n"
    "  server_config: {}\n"
    "  readers_config:\n"
    "    a: {model_name: ma, device: cpu, consumer_group: g}\n"
    "    b: {model_name: mb, device: cuda, consumer_group: g, tensor_parallel: 2}\n";

void unique_ids_keep_every_reader_under_a_fresh_id() {
    const std::string path = write_manifest(two_readers);
    auto plain = schema::read_from_manifest_yaml(path, false);
    auto first = schema::read_from_manifest_yaml(path, true);
    auto second = schema::read_from_manifest_yaml(path, true);
    ::unlink(path.c_str());
    check(plain.ok() && first.ok() && second.ok(), "the manifest reads");
    if (!plain || !first || !second) return;

    std::set<std::string> seen;
    for (const auto* result : {&first, &second}) {
        const auto& readers = result->value().readers_config;
        check(readers.size() == 2, "no reader is dropped or merged");
        for (const auto& [id, reader] : readers) {
            const std::string old_id = id.substr(0, id.size() - 37);
            check(std::regex_search(id, uuid_suffix) && id.size() == old_id.size() + 37,
                  "id '" + id + "' is the old id, '_' and a version-4 UUID");
            check(plain.value().readers_config.at(old_id) == reader, "record under " + id + " is unchanged");
            check(seen.insert(id.substr(old_id.size())).second, "UUIDs differ between readers and calls");
        }
    }
}

void lookup_copies_or_reports_invalid_value() {
    const std::string path = write_manifest(two_readers);
    auto manifest = schema::read_from_manifest_yaml(path, false);
    ::unlink(path.c_str());
    if (!manifest) return check(false, "the manifest reads");
    auto found = schema::find_reader(manifest.value(), "b");
    check(found.ok() && found.value().tensor_parallel == 2u, "reader b is found");
    auto missing = schema::find_reader(manifest.value(), "B");
    check(!missing.ok() && missing.error().kind() == errors::ErrorKind::InvalidValue &&
              missing.error().display() == "Invalid Value: No reader with id B found in manifest.yaml",
          "ids are case-sensitive");
}

void display_texts_of_every_kind() {
    using errors::ConfigError;
    using errors::ErrorKind;
    const std::vector<std::pair<ConfigError, std::string>> cases = {
        {ConfigError(ErrorKind::MissingConfig, "x"), "Missing Config: x"},
        {ConfigError(ErrorKind::ConfigBuilder, "x"), "Error with Config Builder: x"},
        {ConfigError(ErrorKind::FileWrite, "x"), "Error Writing to file: x"},
        {ConfigError(ErrorKind::FileNotFound, ""), "File Not Found on path: "},
        {ConfigError::validation({{errors::Where::all(), errors::ErrorType::required_missing()},
                                  {errors::Where::named("a\"b"), errors::ErrorType::invalid("it's \\ \u0301")}}),
         "Validation Errors: [ValidationError { field: All, error_type: RequiredMissing }, "
         "ValidationError { field: Field(\"a\\\"b\"), error_type: Invalid(\"it's \\\\ \\u{301}\") }]"},
    };
    for (const auto& [error, text] : cases) check(error.display() == text, "display of " + text);
}

}  // namespace

int main() {
    unique_ids_keep_every_reader_under_a_fresh_id();
    lookup_copies_or_reports_invalid_value();
    display_texts_of_every_kind();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
