// The JSON reader: recursive descent, bounded in depth, values and size (see json_reader.h).
#include "tools/cli/json_reader.h"

#include <cerrno>
#include <cstdlib>
#include <unordered_set>

namespace kvcli {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool Document(JsonValue& out) {
        if (m_text.size() > MaxJsonBytes)
            return Fail("the text is longer than " + std::to_string(MaxJsonBytes) + " bytes");
        SkipSpace();
        if (!Value(out, 0)) return false;
        SkipSpace();
        if (m_at != m_text.size()) return Fail("unexpected text after the value");
        return true;
    }

    std::string error;

private:
    bool Fail(const std::string& what) {
        if (!error.empty()) return false;
        size_t line = 1, column = 1;
        for (size_t i = 0; i < m_at && i < m_text.size(); ++i) {
            if (m_text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        error = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
        // The member being read, so that a value JSON cannot hold (NaN, say) is named.
        if (!m_path.empty()) error += " (in " + m_path + ")";
        return false;
    }

    bool AtEnd() const { return m_at >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_at]; }

    void SkipSpace() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r'))
            ++m_at;
    }

    bool Literal(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) return Fail("unknown word");
        m_at += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth) {
        if (++m_values > MaxJsonValues)
            return Fail("more than " + std::to_string(MaxJsonValues) + " values");
        switch (Peek()) {
            case '{':
                return Object(out, depth + 1);
            case '[':
                return Array(out, depth + 1);
            case '"':
                out.type = JsonValue::Type::String;
                return String(out.text);
            case 't':
                out.type = JsonValue::Type::Bool;
                out.boolean = true;
                return Literal("true");
            case 'f':
                out.type = JsonValue::Type::Bool;
                out.boolean = false;
                return Literal("false");
            case 'n':
                out.type = JsonValue::Type::Null;
                return Literal("null");
            default:
                if (Peek() == '-' || (Peek() >= '0' && Peek() <= '9')) return Number(out);
                return AtEnd() ? Fail("the text ends where a value should be")
                               : Fail("a value was expected");
        }
    }

    bool Object(JsonValue& out, int depth) {
        if (depth > MaxJsonDepth) return Fail("nested deeper than " + std::to_string(MaxJsonDepth));
        out.type = JsonValue::Type::Object;
        ++m_at;  // '{'
        SkipSpace();
        if (Peek() == '}') {
            ++m_at;
            return true;
        }
        // The names met so far, hashed: a linear search per name would make an object of many
        // names quadratic, which a hostile document could use to hold the reader for seconds.
        std::unordered_set<std::string> names;
        for (;;) {
            SkipSpace();
            if (Peek() != '"') return Fail("a member name in quotes was expected");
            std::string name;
            if (!String(name)) return false;
            if (!names.insert(name).second) return Fail("the name \"" + name + "\" appears twice");
            SkipSpace();
            if (Peek() != ':') return Fail("':' was expected after a member name");
            ++m_at;
            SkipSpace();
            const size_t pathLength = m_path.size();
            m_path += (m_path.empty() ? "" : ".") + name;
            out.members.push_back(JsonMember{std::move(name), JsonValue{}});
            if (!Value(out.members.back().value, depth)) return false;
            m_path.resize(pathLength);
            SkipSpace();
            if (Peek() == ',') {
                ++m_at;
                continue;
            }
            if (Peek() == '}') {
                ++m_at;
                return true;
            }
            return Fail("',' or '}' was expected");
        }
    }

    bool Array(JsonValue& out, int depth) {
        if (depth > MaxJsonDepth) return Fail("nested deeper than " + std::to_string(MaxJsonDepth));
        out.type = JsonValue::Type::Array;
        ++m_at;  // '['
        SkipSpace();
        if (Peek() == ']') {
            ++m_at;
            return true;
        }
        for (;;) {
            SkipSpace();
            const size_t pathLength = m_path.size();
            m_path += "[" + std::to_string(out.items.size()) + "]";
            out.items.emplace_back();
            if (!Value(out.items.back(), depth)) return false;
            m_path.resize(pathLength);
            SkipSpace();
            if (Peek() == ',') {
                ++m_at;
                continue;
            }
            if (Peek() == ']') {
                ++m_at;
                return true;
            }
            return Fail("',' or ']' was expected");
        }
    }

    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool Hex4(uint32_t& out) {
        if (m_at + 4 > m_text.size()) return Fail("\\u wants four hex digits");
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = HexDigit(m_text[m_at + i]);
            if (d < 0) return Fail("\\u wants four hex digits");
            out = out * 16 + static_cast<uint32_t>(d);
        }
        m_at += 4;
        return true;
    }

    static void PutUtf8(std::string& s, uint32_t c) {
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (c >> 18));
            s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    bool Escape(std::string& out) {
        const char c = Peek();
        ++m_at;
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u': {
                uint32_t code = 0;
                if (!Hex4(code)) return false;
                if (code >= 0xDC00 && code <= 0xDFFF) return Fail("a lone low surrogate");
                if (code >= 0xD800 && code <= 0xDBFF) {
                    uint32_t low = 0;
                    if (m_text.substr(m_at, 2) != "\\u") return Fail("a lone high surrogate");
                    m_at += 2;
                    if (!Hex4(low)) return false;
                    if (low < 0xDC00 || low > 0xDFFF) return Fail("a lone high surrogate");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                if (code == 0) return Fail("a string holds a NUL character");
                PutUtf8(out, code);
                return true;
            }
            default:
                return Fail("an unknown escape");
        }
    }

    bool String(std::string& out) {
        ++m_at;  // '"'
        out.clear();
        for (;;) {
            if (AtEnd()) return Fail("a string is not closed");
            const char c = Peek();
            if (c == '"') {
                ++m_at;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20)
                return Fail("a control character in a string");
            if (c == '\\') {
                ++m_at;
                if (!Escape(out)) return false;
            } else {
                out += c;
                ++m_at;
            }
        }
    }

    bool Digits() {
        const size_t from = m_at;
        while (Peek() >= '0' && Peek() <= '9') ++m_at;
        return m_at > from;
    }

    bool Number(JsonValue& out) {
        const size_t from = m_at;
        out.type = JsonValue::Type::Number;
        out.whole = true;
        if (Peek() == '-') ++m_at;
        if (Peek() == '0') {
            ++m_at;
        } else if (!Digits()) {
            return Fail("a number wants digits");
        }
        if (Peek() == '.') {
            ++m_at;
            out.whole = false;
            if (!Digits()) return Fail("a number wants digits after '.'");
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++m_at;
            out.whole = false;
            if (Peek() == '+' || Peek() == '-') ++m_at;
            if (!Digits()) return Fail("a number wants digits in its exponent");
        }
        if (m_at - from > 64) return Fail("a number longer than 64 characters");
        const std::string digits(m_text.substr(from, m_at - from));
        errno = 0;
        out.number = std::strtod(digits.c_str(), nullptr);
        // A number too large for a double is refused rather than read as infinity.
        if (errno == ERANGE && (out.number > 1.0 || out.number < -1.0))
            return Fail("a number too large");
        return true;
    }

    std::string_view m_text;
    size_t m_at = 0;
    size_t m_values = 0;
    std::string m_path;  // "keys[2].x" while that value is read
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
    for (const JsonMember& m : members)
        if (m.name == name) return &m.value;
    return nullptr;
}

bool ReadJson(std::string_view text, JsonValue& out, std::string& error) {
    Reader r(text);
    out = JsonValue{};
    if (r.Document(out)) return true;
    error = r.error;
    return false;
}

const char* JsonTypeName(JsonValue::Type type) {
    switch (type) {
        case JsonValue::Type::Null:
            return "null";
        case JsonValue::Type::Bool:
            return "true or false";
        case JsonValue::Type::Number:
            return "a number";
        case JsonValue::Type::String:
            return "a string";
        case JsonValue::Type::Array:
            return "an array";
        case JsonValue::Type::Object:
            return "an object";
    }
    return "a value";
}

}  // namespace kvcli
