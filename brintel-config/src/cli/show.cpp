#include "cli/commands.hpp"

#include "cli/json.hpp"
#include "schema/manifest/manifest.hpp"

namespace brintel::cli {

int show_reader(const std::string& path, const std::string& reader_id, Streams streams) {
    const auto reader = schema::read_reader_from_manifest(path, reader_id);
    if (!reader) {
        streams.err << reader.error().display() << '\n';
        return failure;
    }
    streams.out << exported_json(reader.value());
    return success;
}

}  // namespace brintel::cli
