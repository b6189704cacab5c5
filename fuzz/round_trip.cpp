// Whatever reads as complete manifest records is written, read back to
// equal records, and written again to the same text.
#include "yaml/read.hpp"
#include "yaml/write.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "round trip broken: %s\n%s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brintel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto original = yaml::read_document_map<schema::ManifestConfig>(std::string(text));
    if (!original) return 0;
    auto written = yaml::write_document_map(original.value());
    if (!written) fail("writing failed", written.error().display());
    auto reread = yaml::read_document_map<schema::ManifestConfig>(written.value());
    if (!reread) fail("written text does not read", reread.error().display() + "\n" + written.value());
    if (!(reread.value() == original.value())) fail("records differ", written.value());
    auto rewritten = yaml::write_document_map(reread.value());
    if (!rewritten || rewritten.value() != written.value()) fail("second text differs", written.value());
    return 0;
}
