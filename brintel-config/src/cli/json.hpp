// JSON text for the shell command's output.
#pragma once

#include "schema/records.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::cli {

// `text` as a JSON string: quotation mark, backslash and the control
// characters escaped, other UTF-8 passed through. A byte that is not part of
// UTF-8 (of a file name, say) is written \udcXX, as Python's os.fsdecode
// gives it, so that the JSON stays valid and the name can be had back.
void append_json_string(std::string& out, std::string_view text);

// Writes JSON into a string, two blanks of indentation per level, one
// member or element per line. The caller keeps keys and values in order:
// key() only inside an object, before each of its values.
class JsonWriter {
public:
    explicit JsonWriter(std::string& out) : out_(out) {}

    void begin_object() { open('{'); }
    void end_object() { close('}'); }
    void begin_array() { open('['); }
    void end_array() { close(']'); }
    void key(std::string_view name);

    void string(std::string_view text);
    void number(std::uint64_t value);
    void boolean(bool value);
    void null();
    // An array of strings on one line: ["a", "b"].
    void strings(const std::vector<std::string_view>& texts);

    // key() and a value in one.
    template <class Value>
    void member(std::string_view name, const Value& value) {
        key(name);
        write(value);
    }

private:
    void write(std::string_view text) { string(text); }
    void write(const char* text) { string(text); }
    void write(const std::string& text) { string(text); }
    void write(bool value) { boolean(value); }
    void write(std::uint64_t value) { number(value); }
    void write(std::uint32_t value) { number(value); }
    void write(std::uint16_t value) { number(value); }
    void write(std::nullptr_t) { null(); }

    void open(char bracket);
    void close(char bracket);
    void before_value();
    void new_line();

    std::string& out_;
    std::vector<bool> has_items_;  // one per open object or array
    bool after_key_ = false;
};

// Every field of the reader as a JSON object in declared order, unset ones
// as null, one per line, followed by a line feed.
std::string reader_json(const schema::ReaderConfig& reader);

}  // namespace brintel::cli
