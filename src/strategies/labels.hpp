// Pieces shared by the orderings built like SemVer: dotted numeric parts
// padded with zeros, and dotted pre-release labels.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::labels {

// The leading dotted runs of digits of a and b compared in place, in one
// pass, a missing part counting as 0; end_a and end_b are set to where each
// run ends (when they are equal).
Ordering cmp_leading_parts(std::string_view a, std::string_view b, std::size_t& end_a, std::size_t& end_b) noexcept;
std::size_t leading_parts_end(std::string_view s) noexcept;
void put_numeric_parts(std::string& key, std::string_view parts);

enum class Case : uint8_t { Exact, Folded };

// SemVer's label order: labels of digits by value and below the others,
// which compare by their bytes (upper-cased when Folded); a list that is a
// proper start of the other is the lesser.
Ordering cmp_labels(std::string_view a, std::string_view b, Case c) noexcept;
void put_labels(std::string& key, std::string_view labels, Case c);

bool all_digits(std::string_view s) noexcept;

// Calls f(piece) for each piece of s between dots; returns early when f
// returns true.
template <class F>
void each_piece(std::string_view s, F f) {
    for (;;) {
        const std::size_t dot = s.find('.');
        if (f(s.substr(0, dot)) || dot == std::string_view::npos) return;
        s.remove_prefix(dot + 1);
    }
}

}  // namespace quorlen::strategies::labels
