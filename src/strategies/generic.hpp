// The generic ordering: epoch, then the segment lists with trailing zeros and
// release words ignored, words ranked by their tag weight.
#pragma once

#include <span>
#include <string_view>

#include "parser.hpp"

namespace quorlen::strategies::generic {

Ordering cmp_segments(std::span<const Seg> a, std::span<const Seg> b) noexcept;

// Epoch first, then cmp_segments; raw, build and flags take no part.
Ordering cmp_generic(const ParsedVersion& a, const ParsedVersion& b) noexcept;

// Number of segments left after dropping trailing zeros and weight-30 words.
std::size_t significant_length(std::span<const Seg> segs) noexcept;

// The weight a text segment has in comparisons (unknown tags count as 29).
int32_t effective_weight(const Seg& text_seg) noexcept;

// ---------------------------------------------------------------- details

// The ordering is written once over any segment type that answers
// is_number(), number and text_view(), so a compactly stored segment list
// (the Version class keeps one) orders exactly as a list of Seg does.
namespace detail {

inline std::string_view text_of(const Seg& s) noexcept { return s.text; }
template <class S>
std::string_view text_of(const S& s) noexcept {
    return s.text_view();
}

template <class S>
bool is_insignificant(const S& s) noexcept {
    if (s.is_number()) return s.number == 0;
    auto w = tag_weight(text_of(s));
    return w && *w == RELEASE_WEIGHT;
}

// A segment standing against the end of the other list.
template <class S>
Ordering against_end(const S& s) noexcept {
    if (s.is_number()) return s.number == 0 ? Ordering::Equal : Ordering::Greater;
    auto w = tag_weight(text_of(s));
    return (w && *w >= RELEASE_WEIGHT) ? Ordering::Greater : Ordering::Less;
}

template <class S>
Ordering cmp_seg(const S& a, const S& b) noexcept {
    if (a.is_number() && b.is_number()) return order_of(a.number, b.number);
    if (a.is_number()) return Ordering::Greater;
    if (b.is_number()) return Ordering::Less;
    const std::string_view ta = text_of(a), tb = text_of(b);
    const auto wa = tag_weight(ta);
    const auto wb = tag_weight(tb);
    if (!wa && !wb) {
        const int c = ta.compare(tb);
        return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
    }
    return order_of(wa.value_or(UNKNOWN_TAG_WEIGHT), wb.value_or(UNKNOWN_TAG_WEIGHT));
}

template <class S>
std::size_t significant_length_of(std::span<const S> segs) noexcept {
    std::size_t n = segs.size();
    while (n > 0 && is_insignificant(segs[n - 1])) --n;
    return n;
}

template <class S>
Ordering cmp_segments_of(std::span<const S> a, std::span<const S> b) noexcept {
    const std::size_t la = significant_length_of(a);
    const std::size_t lb = significant_length_of(b);
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
