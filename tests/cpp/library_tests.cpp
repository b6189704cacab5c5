// Checks of the configuration library that Python cannot reach: the unique reader ids
// that no Python entry point asks for, errors as plain values, and the
// choice of how an update commits its text, over facts no host could show
// all at once.
#include "errors/config_error.hpp"
#include "schema/manifest/file_access.hpp"
#include "schema/manifest/manifest.hpp"
#include "schema/manifest/way.hpp"
#include "yaml/document.hpp"

#include <unistd.h>

#include <cerrno>
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

const std::string uuid_form = "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}";
const std::regex uuid_suffix("_" + uuid_form + "$");

std::string write_manifest(const std::string& text) {
    char name[] = "/tmp/brintel-library-test-XXXXXX";
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

void uuid_text_sets_version_and_variant_over_the_random_bytes() {
    const std::pair<schema::UuidBytes, const char*> cases[] = {
        {{}, "00000000-0000-4000-8000-000000000000"},
        {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
         "ffffffff-ffff-4fff-bfff-ffffffffffff"},
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef},
         "01234567-89ab-4def-8123-456789abcdef"},
    };
    for (const auto& [bytes, text] : cases) check(schema::uuid_v4_text(bytes) == text, std::string("uuid ") + text);
}

// Every one of 100,000 is well formed and new, and every free hex digit
// takes all sixteen values somewhere.
void new_uuids_are_well_formed_and_do_not_repeat() {
    const std::regex form(uuid_form);
    std::set<std::string> seen;
    std::vector<std::set<char>> digits(36);
    bool all_well_formed = true;
    for (int i = 0; i < 100'000; ++i) {
        std::string uuid = schema::new_uuid();
        all_well_formed = all_well_formed && std::regex_match(uuid, form);
        for (std::size_t at = 0; at < uuid.size() && at < digits.size(); ++at) digits[at].insert(uuid[at]);
        seen.insert(std::move(uuid));
    }
    check(all_well_formed, "every UUID is 36 lower-case characters of version 4 and RFC 4122 variant");
    check(seen.size() == 100'000, "no UUID repeats in 100,000");
    for (std::size_t at : {0u, 7u, 9u, 15u, 20u, 35u}) {
        check(digits[at].size() == 16, "position " + std::to_string(at) + " takes every hex digit");
    }
}

using schema::choose_way;
using schema::PathKind;
using schema::Step;
using schema::StoreFacts;
using schema::Way;

// Over every combination of facts and of what a replacement met: nothing
// replaces where an obstacle is known, a failed replacement is never tried
// again as it was (so an update tries at most two), in place only writes
// through a writable descriptor, a refusal has a reason, a full disk or an
// I/O error is what the caller hears, RLIMIT_FSIZE (but a text of exactly
// its size) refuses before anything, and a refused owner means the same
// whether foreseen, EPERM or a user namespace's EINVAL.
void no_combination_replaces_blindly_loops_or_writes_where_it_may_not() {
    const std::pair<Step, int> failures[] = {{Step::None, 0},     {Step::Create, EACCES},     {Step::Create, ENOSPC},
                                             {Step::Owner, EIO},  {Step::Attributes, ENOTSUP}, {Step::Rename, EBUSY},
                                             {Step::Rename, EIO}};
    const auto same = [](schema::Decision a, schema::Decision b) { return a.way == b.way && a.error == b.error; };
    int bad = 0;
    for (int bits = 0; bits < 1 << 8; ++bits) {
        for (const auto path : {PathKind::File, PathKind::Link, PathKind::DescriptorLink}) {
            StoreFacts facts;
            facts.text_bytes = 1;
            const bool over_limit = bits & 1;
            facts.file_size_limit = over_limit ? 0 : 1;
            facts.path = path;
            facts.write_refused = bits & 2 ? EACCES : 0;
            facts.directory_writable = bits & 4;
            facts.directory_append_only = bits & 8;
            facts.sticky_not_ours = bits & 16;
            facts.mount_point = bits & 32;
            facts.name_fits = bits & 64;
            const bool obstacle = path == PathKind::DescriptorLink || !facts.directory_writable ||
                                  facts.directory_append_only || facts.sticky_not_ours || facts.mount_point ||
                                  !facts.name_fits;
            for (const auto& [step, error] : failures) {
                facts.failed = {step, error};
                facts.owner_givable = bits & 128;
                const auto [way, reason] = choose_way(facts);
                const bool replaces = way == Way::Replace || way == Way::ReplaceAsCaller;
                bad += obstacle && replaces;
                bad += step != Step::None && replaces;
                bad += way == Way::InPlace && facts.write_refused != 0;
                bad += way == Way::Refuse && reason == 0;
                bad += (error == ENOSPC || error == EIO) && way != Way::Refuse;
                bad += over_limit != (way == Way::Refuse && reason == EFBIG);
                if (step != Step::None) continue;
                facts.owner_givable = false;
                const auto foreseen = choose_way(facts);
                facts.owner_givable = true;
                for (const int refusal : {EPERM, EINVAL}) {
                    facts.failed = {Step::Owner, refusal};
                    const auto met = choose_way(facts);
                    bad += !same(met, foreseen) || met.way == Way::Replace;
                }
            }
        }
    }
    check(bad == 0, "no combination of facts replaces blindly, loops, or writes where it may not");
}

// Loading a text is bounded as reading a file is, and refused in the same
// words: the bound lies on the manifest's size, not on the event encoding.
void loading_refuses_a_text_beyond_the_manifest_bound() {
    const std::string path = write_manifest("");
    const bool sized = ::truncate(path.c_str(), static_cast<off_t>(yaml::max_manifest_bytes + 1)) == 0;
    const auto from_file = schema::read_from_manifest_yaml(path, false);
    ::unlink(path.c_str());
    std::string text(yaml::max_manifest_bytes, '#');  // one comment: an empty stream
    const auto at_bound = yaml::load_first_document(text);
    text += '#';
    const auto beyond = yaml::load_first_document(text);
    check(sized && !from_file.ok() && beyond.failure &&
              from_file.error().display() == "Error Error Serializing/Deserializing:: " + beyond.failure->message,
          "a text one byte beyond the bound is refused as such a file is");
    check(!at_bound.failure && at_bound.document.empty_stream, "a text of exactly the bound loads");
}

}  // namespace

int main() {
    uuid_text_sets_version_and_variant_over_the_random_bytes();
    new_uuids_are_well_formed_and_do_not_repeat();
    unique_ids_keep_every_reader_under_a_fresh_id();
    lookup_copies_or_reports_invalid_value();
    display_texts_of_every_kind();
    no_combination_replaces_blindly_loops_or_writes_where_it_may_not();
    loading_refuses_a_text_beyond_the_manifest_bound();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
