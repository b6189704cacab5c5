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

// One event or token as libyaml hands it out, read by `next`; released by
// `release` when it goes out of scope.
template <class Item, int (*next)(yaml_parser_t*, Item*), void (*release)(Item*)>
class Held {
public:
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (read_) release(&item_);
    }

    // Reads the next one into this (empty) holder; false on an error.
    // libyaml clears the item before anything else, so the holder does not
    // clear it beforehand: that would be a hundred bytes zeroed per event
    // for nothing.
    bool parse(Parser& parser) {
        read_ = true;
        return next(parser.get(), &item_) != 0;
    }
    const Item& operator*() const { return item_; }

private:
    Item item_;
    bool read_ = false;
};

using ParsedEvent = Held<yaml_event_t, yaml_parser_parse, yaml_event_delete>;
using ScannedToken = Held<yaml_token_t, yaml_parser_scan, yaml_token_delete>;

}  // namespace brintel::yaml
