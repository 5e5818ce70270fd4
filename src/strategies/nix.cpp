#include "strategies/nix.hpp"

#include <optional>

#include "packed_segments.hpp"

namespace quorlen::strategies::nix {

namespace {

bool is_separator(char c) noexcept { return c == '.' || c == '-'; }

// The next component from position i; empty at the end.
std::string_view next_component(std::string_view s, std::size_t& i) noexcept {
    while (i < s.size() && is_separator(s[i])) ++i;
    const std::size_t begin = i;
    if (i < s.size() && ascii::is_digit(s[i]))
        while (i < s.size() && ascii::is_digit(s[i])) ++i;
    else
        while (i < s.size() && !ascii::is_digit(s[i]) && !is_separator(s[i])) ++i;
    return s.substr(begin, i - begin);
}

// Nix reads a component as a number only when it fits a signed 32-bit
// integer; a longer run of digits is a word.
constexpr uint64_t INT_MAX_VALUE = 0x7FFFFFFF;

std::optional<uint64_t> number(std::string_view c) noexcept {
    if (c.empty() || !ascii::is_digit(c[0])) return std::nullopt;
    uint64_t v = 0;
    for (char d : c) {
        v = v * 10 + static_cast<uint64_t>(d - '0');
        if (v > INT_MAX_VALUE) return std::nullopt;
    }
    return v;
}

constexpr std::string_view PRE = "pre";

bool less(std::string_view c1, std::string_view c2) noexcept {
    const auto n1 = number(c1);
    const auto n2 = number(c2);
    if (n1 && n2) return *n1 < *n2;
    if (c1.empty() && n2) return true;
    if (c1 == PRE && c2 != PRE) return true;
    if (c2 == PRE) return false;
    // 2.3a < 2.3.1
    if (n2) return true;
    if (n1) return false;
    return c1 < c2;
}

}  // namespace

Ordering compare(std::string_view a, std::string_view b) noexcept {
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const std::string_view c1 = next_component(a, i);
        const std::string_view c2 = next_component(b, j);
        if (less(c1, c2)) return Ordering::Less;
        if (less(c2, c1)) return Ordering::Greater;
    }
    return Ordering::Equal;
}

uint64_t hash(std::string_view text) {
    // Components are equal only when both are the same number or the same
    // word, and an absent one equals no component: the list itself is hashed.
    HashBytes b;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::string_view c = next_component(text, i);
        if (c.empty()) break;
        if (const auto n = number(c))
            b.number(*n);
        else
            b.piece('a', c);
    }
    return hash_bytes(b.view());
}

}  // namespace quorlen::strategies::nix
