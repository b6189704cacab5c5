// Thin owners of libyaml's parser, emitter and event structures.
#pragma once

#include <yaml.h>

namespace brintel::yaml {

// A parser or emitter, initialised on construction and deleted with its
// owner; `ready()` is false when libyaml could not allocate it.
template <class State, int (*initialise)(State*), void (*destroy)(State*)>
class Owned {
public:
    Owned() : ready_(initialise(&state_) != 0) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() {
        if (ready_) destroy(&state_);
    }
    bool ready() const { return ready_; }
    State* get() { return &state_; }
    const State& state() const { return state_; }

private:
    State state_{};
    bool ready_;
};

using Parser = Owned<yaml_parser_t, yaml_parser_initialize, yaml_parser_delete>;
using Emitter = Owned<yaml_emitter_t, yaml_emitter_initialize, yaml_emitter_delete>;

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

private:
    yaml_event_t event_{};
};

}  // namespace brintel::yaml
