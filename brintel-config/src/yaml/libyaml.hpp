// Thin owners of libyaml's parser, emitter and event structures.
#pragma once

#include <yaml.h>

namespace brintel::yaml {

class Parser {
public:
    Parser() : ready_(yaml_parser_initialize(&parser_) != 0) {}
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    ~Parser() {
        if (ready_) yaml_parser_delete(&parser_);
    }
    bool ready() const { return ready_; }
    yaml_parser_t* get() { return &parser_; }
    const yaml_parser_t& state() const { return parser_; }

private:
    yaml_parser_t parser_{};
    bool ready_;
};

class Emitter {
public:
    Emitter() : ready_(yaml_emitter_initialize(&emitter_) != 0) {}
    Emitter(const Emitter&) = delete;
    Emitter& operator=(const Emitter&) = delete;
    ~Emitter() {
        if (ready_) yaml_emitter_delete(&emitter_);
    }
    bool ready() const { return ready_; }
    yaml_emitter_t* get() { return &emitter_; }
    const yaml_emitter_t& state() const { return emitter_; }

private:
    yaml_emitter_t emitter_{};
    bool ready_;
};

// One event as libyaml hands it out; released when it goes out of scope.
class ParsedEvent {
public:
    ParsedEvent() = default;
    ParsedEvent(const ParsedEvent&) = delete;
    ParsedEvent& operator=(const ParsedEvent&) = delete;
    ~ParsedEvent() { yaml_event_delete(&event_); }

    // Parses the next event into this (empty) holder; false on a parse error.
    bool parse(Parser& parser) { return yaml_parser_parse(parser.get(), &event_) != 0; }
    const yaml_event_t& operator*() const { return event_; }
    const yaml_event_t* operator->() const { return &event_; }

private:
    yaml_event_t event_{};
};

}  // namespace brintel::yaml
