#include "yaml/tokens.hpp"

#include "yaml/libyaml.hpp"

#include <algorithm>
#include <limits>
#include <new>

namespace brintel::yaml {
namespace {

TokenKind kind_of(yaml_token_type_t type) {
    switch (type) {
    case YAML_SCALAR_TOKEN:
    case YAML_ALIAS_TOKEN: return TokenKind::Node;
    case YAML_ANCHOR_TOKEN:
    case YAML_TAG_TOKEN: return TokenKind::Property;
    case YAML_FLOW_SEQUENCE_START_TOKEN:
    case YAML_FLOW_MAPPING_START_TOKEN: return TokenKind::FlowStart;
    case YAML_FLOW_SEQUENCE_END_TOKEN:
    case YAML_FLOW_MAPPING_END_TOKEN: return TokenKind::FlowEnd;
    case YAML_BLOCK_SEQUENCE_START_TOKEN:
    case YAML_BLOCK_MAPPING_START_TOKEN:
    case YAML_KEY_TOKEN: return TokenKind::Opening;
    default: return TokenKind::Other;
    }
}

std::uint32_t clamped(std::size_t value) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

Mark mark_of(const yaml_mark_t& mark) { return {clamped(mark.line), clamped(mark.column)}; }

}  // namespace

Tokens scan_tokens(std::string_view text) {
    Tokens out;
    Parser parser;
    if (!parser.ready()) throw std::bad_alloc();
    yaml_parser_set_input_string(parser.get(), reinterpret_cast<const unsigned char*>(text.data()), text.size());
    for (;;) {
        ScannedToken token;
        if (!token.parse(parser)) {
            if (parser.state().error == YAML_MEMORY_ERROR) throw std::bad_alloc();
            return out;
        }
        const yaml_token_t& scanned = *token;
        if (scanned.type == YAML_NO_TOKEN) return out;
        out.tokens.push_back({mark_of(scanned.start_mark), mark_of(scanned.end_mark), kind_of(scanned.type)});
        if (scanned.type == YAML_STREAM_END_TOKEN) {
            out.complete = true;
            return out;
        }
    }
}

}  // namespace brintel::yaml
