// What the text orderings of apk, conda, pkg, portage, NuGet and Terraform
// share. Each is a comparison of two trimmed texts that accepts any text its
// ecosystem's check lets through, and a key: a text that two versions share
// exactly when the comparison holds them equal, whose bytes equal versions
// hash by.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "packed_segments.hpp"
#include "parser.hpp"
#include "strategies/strategy.hpp"
#include "strategies/text_order.hpp"

namespace quorlen::strategies::native {

// Runs of ASCII digits by value, whatever their length: leading zeros
// dropped, a longer run is larger, runs of one length compare as text.
inline std::string_view without_leading_zeros(std::string_view digits) noexcept {
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    return digits;
}

inline Ordering cmp_digits(std::string_view a, std::string_view b) noexcept {
    a = without_leading_zeros(a);
    b = without_leading_zeros(b);
    if (a.size() != b.size()) return order_of(a.size(), b.size());
    const int c = a.compare(b);
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

inline Ordering cmp_bytes(std::string_view a, std::string_view b) noexcept {
    const int c = a.compare(b);
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

// The longest run from i on whose bytes all pass Pred.
template <class Pred>
std::string_view run_of(std::string_view s, std::size_t i, Pred pred) noexcept {
    std::size_t j = i;
    while (j < s.size() && pred(s[j])) ++j;
    return s.substr(i, j - i);
}

inline std::string_view digits_at(std::string_view s, std::size_t i) noexcept {
    return run_of(s, i, [](char c) { return ascii::is_digit(c); });
}

// Key pieces: a one-byte tag, then the piece's bytes and a terminator, so
// that no two sequences of pieces spell the same key.
inline void put_piece(std::string& key, char tag, std::string_view bytes) {
    key += tag;
    for (char c : bytes) {
        if (c == '\0' || c == '\1') key += '\1';
        key += c;
    }
    key += '\0';
}

// The hash of an ordering that builds a key: the key's bytes.
template <std::string (*Key)(std::string_view)>
uint64_t key_hash(std::string_view text) {
    return hash_bytes(Key(text));
}

}  // namespace quorlen::strategies::native
