// A small JSON reader for the command-line tool: a text of at most MaxJsonBytes becomes a tree
// of values, or an error that names the line and column where reading stopped.
//
// It is bounded on every side a hostile file could push: the text's size, the nesting depth,
// the number of values and the length of strings, so that no input makes it recurse deeply or
// allocate without limit. Numbers keep their text's kind: a number written without a fraction
// or an exponent is whole, which the show fields that are whole numbers insist on. Duplicate
// names in an object are refused, since the reader cannot know which one was meant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvcli {

constexpr size_t MaxJsonBytes = 1 << 20;
constexpr int MaxJsonDepth = 32;
constexpr size_t MaxJsonValues = 1 << 16;

struct JsonMember;

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0.0;
    bool whole = false;               // a number written as an integer (no '.', 'e' or 'E')
    std::string text;                 // the string, UTF-8
    std::vector<JsonValue> items;     // an array's values
    std::vector<JsonMember> members;  // an object's, in order

    // The member called name, or nullptr (also when this is not an object).
    const JsonValue* Find(std::string_view name) const;
};

struct JsonMember {
    std::string name;
    JsonValue value;
};

// Reads one JSON text (surrounding white space allowed, nothing after it). False with `error`
// ("line L, column C: what") when the text is not JSON or passes a bound.
bool ReadJson(std::string_view text, JsonValue& out, std::string& error);

// The name of a type as messages give it ("a number", "a string" ...).
const char* JsonTypeName(JsonValue::Type type);

}  // namespace kvcli
