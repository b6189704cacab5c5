// Any text read as a manifest, in both shapes, ends in records or an error
// value: never a crash, a hang or undefined behaviour. The same holds for
// the key walk that locates findings, started at any event, and for the
// walk of `brintel-config check` past every refusal (check_formats.cpp
// fuzzes the rest of the command).
#include "cli/lint.hpp"
#include "yaml/keys.hpp"
#include "yaml/read.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brintel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto as_read = yaml::read_document_map<schema::OptionManifestConfig>(std::string(text));
    if (!as_read) (void)as_read.error().display();
    auto as_stored = yaml::read_document_map<schema::ManifestConfig>(std::string(text), {"brintel", "r1"});
    if (!as_stored) (void)as_stored.error().display();
    const yaml::Loaded loaded = yaml::load_first_document(text, yaml::Positions::Keep);
    for (std::size_t event = 0; event < loaded.document.events.size(); ++event) {
        (void)yaml::mapping_entries(loaded.document, event);
    }
    (void)cli::lint(schema::inspect_manifest(text));
    return 0;
}
