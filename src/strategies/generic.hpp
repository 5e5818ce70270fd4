// The generic ordering: epoch, then the segment lists with trailing zeros and
// release words ignored, words ranked by their tag weight.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "parser.hpp"

namespace quorlen::strategies::generic {

Ordering cmp_segments(std::span<const Seg> a, std::span<const Seg> b) noexcept;

// Epoch first, then cmp_segments; raw, build and flags take no part.
Ordering cmp_generic(const ParsedVersion& a, const ParsedVersion& b) noexcept;

// Orders two texts exactly as cmp_generic of their generic parses, reading
// slices of the texts instead of building either parse.
Ordering compare_generic_texts(std::string_view a, std::string_view b) noexcept;

// Number of segments left after dropping trailing zeros and weight-30 words.
std::size_t significant_length(std::span<const Seg> segs) noexcept;

// The weight a text segment has in comparisons (unknown tags count as 29).
int32_t effective_weight(const Seg& text_seg) noexcept;

// ---------------------------------------------------------------- details

// The ordering is written once over any segment type S for which
// is_number(s), number_of(s), weight_of(s) and cmp_unknown_words(a, b) are
// found (here for Seg, by argument-dependent lookup for the others): Seg is
// the owning form; slices of a caller's text and the packed segments of a
// Version order the same way.
namespace detail {

inline bool is_number(const Seg& s) noexcept { return s.is_number(); }
inline uint64_t number_of(const Seg& s) noexcept { return s.number; }
inline std::optional<int32_t> weight_of(const Seg& s) noexcept { return tag_weight(s.text); }
inline Ordering cmp_unknown_words(const Seg& a, const Seg& b) noexcept {
    const int c = a.text.compare(b.text);
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

template <class S>
bool is_insignificant(const S& s) noexcept {
    if (is_number(s)) return number_of(s) == 0;
    auto w = weight_of(s);
    return w && *w == RELEASE_WEIGHT;
}

// A segment standing against the end of the other list.
template <class S>
Ordering against_end(const S& s) noexcept {
    if (is_number(s)) return number_of(s) == 0 ? Ordering::Equal : Ordering::Greater;
    auto w = weight_of(s);
    return (w && *w >= RELEASE_WEIGHT) ? Ordering::Greater : Ordering::Less;
}

template <class S>
Ordering cmp_seg(const S& a, const S& b) noexcept {
    if (is_number(a) && is_number(b)) return order_of(number_of(a), number_of(b));
    if (is_number(a)) return Ordering::Greater;
    if (is_number(b)) return Ordering::Less;
    const auto wa = weight_of(a);
    const auto wb = weight_of(b);
    if (!wa && !wb) return cmp_unknown_words(a, b);
    return order_of(wa.value_or(UNKNOWN_TAG_WEIGHT), wb.value_or(UNKNOWN_TAG_WEIGHT));
}

// Length of the list without its trailing zeros and release words.
template <class S>
std::size_t significant(std::span<const S> segs) noexcept {
    std::size_t n = segs.size();
    while (n > 0 && is_insignificant(segs[n - 1])) --n;
    return n;
}

template <class S>
Ordering cmp_lists(std::span<const S> a, std::span<const S> b) noexcept {
    const std::size_t la = significant(a);
    const std::size_t lb = significant(b);
    const std::size_t n = la > lb ? la : lb;
    for (std::size_t i = 0; i < n; ++i) {
        Ordering o;
        if (i < la && i < lb)
            o = cmp_seg(a[i], b[i]);
        else if (i < la)
            o = against_end(a[i]);
        else
            o = reverse(against_end(b[i]));
        if (o != Ordering::Equal) return o;
    }
    return Ordering::Equal;
}

}  // namespace detail

}  // namespace quorlen::strategies::generic
