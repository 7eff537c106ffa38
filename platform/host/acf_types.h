// Basic types of the host's component model: 32-bit result codes, 16-byte identifiers and the
// wide text that crosses the interface.
//
// Identifiers are written in the usual text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and
// turned into the 16-byte record at compile time, so each constant is stated once, as text.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace acf {

using ACFRESULT = int32_t;

// Result codes (negative means failure).
constexpr ACFRESULT ACF_OK = 0;
constexpr ACFRESULT ACF_E_NOTIMPL = static_cast<ACFRESULT>(0x80000001u);
constexpr ACFRESULT ACF_E_OUTOFMEMORY = static_cast<ACFRESULT>(0x80000002u);
constexpr ACFRESULT ACF_E_INVALIDARG = static_cast<ACFRESULT>(0x80000003u);
constexpr ACFRESULT ACF_E_NOINTERFACE = static_cast<ACFRESULT>(0x80000004u);
constexpr ACFRESULT ACF_E_POINTER = static_cast<ACFRESULT>(0x80000005u);
constexpr ACFRESULT ACF_E_CANNOTUNLOAD = static_cast<ACFRESULT>(0x80000008u);
constexpr ACFRESULT ACF_E_UNEXPECTED = static_cast<ACFRESULT>(0x8000FFFFu);
constexpr ACFRESULT ACF_E_NOAGGREGATION = static_cast<ACFRESULT>(0x80040110u);
constexpr ACFRESULT ACF_E_CLASSNOTAVAILABLE = static_cast<ACFRESULT>(0x80040111u);

constexpr bool Failed(ACFRESULT r) {
    return r < 0;
}

// Wide text as the host stores it: 16-bit code units, NUL-terminated.
using ACFWChar = char16_t;

// A 16-byte identifier in the customary layout (three little-endian numbers, eight bytes).
struct ACFUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];

    constexpr bool operator==(const ACFUID& o) const {
        if (data1 != o.data1 || data2 != o.data2 || data3 != o.data3) return false;
        for (int i = 0; i < 8; ++i)
            if (data4[i] != o.data4[i]) return false;
        return true;
    }
};
static_assert(sizeof(ACFUID) == 16, "identifiers are 16 bytes");

using ACFIID = ACFUID;
using ACFCLSID = ACFUID;

namespace detail {
consteval uint32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
    throw "not a hexadecimal digit";  // a compile-time error for a malformed constant
}
consteval uint32_t HexAt(const char* s, int pos, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) v = v * 16 + HexDigit(s[pos + i]);
    return v;
}
}  // namespace detail

// "{A78398EB-D921-42A8-9137-4B336695A206}" as an identifier, checked at compile time.
consteval ACFUID Uid(const char* t) {
    if (t[0] != '{' || t[9] != '-' || t[14] != '-' || t[19] != '-' || t[24] != '-' ||
        t[37] != '}' || t[38] != 0)
        throw "malformed identifier text";
    ACFUID u{};
    u.data1 = detail::HexAt(t, 1, 8);
    u.data2 = static_cast<uint16_t>(detail::HexAt(t, 10, 4));
    u.data3 = static_cast<uint16_t>(detail::HexAt(t, 15, 4));
    u.data4[0] = static_cast<uint8_t>(detail::HexAt(t, 20, 2));
    u.data4[1] = static_cast<uint8_t>(detail::HexAt(t, 22, 2));
    for (int i = 0; i < 6; ++i)
        u.data4[2 + i] = static_cast<uint8_t>(detail::HexAt(t, 25 + 2 * i, 2));
    return u;
}

// The text form of an identifier, upper-case hexadecimal in braces.
inline std::string UidText(const ACFUID& u) {
    static const char* hex = "0123456789ABCDEF";
    std::string s = "{";
    auto put = [&](uint32_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i) s += hex[(v >> (4 * i)) & 15];
    };
    put(u.data1, 8);
    s += '-';
    put(u.data2, 4);
    s += '-';
    put(u.data3, 4);
    s += '-';
    put(u.data4[0], 2);
    put(u.data4[1], 2);
    s += '-';
    for (int i = 2; i < 8; ++i) put(u.data4[i], 2);
    s += '}';
    return s;
}

// Wide text to UTF-8 (for printing and file paths); unpaired surrogates become '?'.
inline std::string WideToUtf8(const ACFWChar* w) {
    std::string out;
    if (!w) return out;
    while (*w) {
        uint32_t c = *w++;
        if (c >= 0xD800 && c <= 0xDBFF && *w >= 0xDC00 && *w <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (*w++ - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 63));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 63));
            out += static_cast<char>(0x80 | (c & 63));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 63));
            out += static_cast<char>(0x80 | ((c >> 6) & 63));
            out += static_cast<char>(0x80 | (c & 63));
        }
    }
    return out;
}

}  // namespace acf
