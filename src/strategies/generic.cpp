#include "strategies/generic.hpp"

#include "strategies/strategy.hpp"

namespace quorlen::strategies::generic {

namespace {

bool is_insignificant(const Seg& s) noexcept {
    if (s.is_number()) return s.number == 0;
    auto w = tag_weight(s.text);
    return w && *w == RELEASE_WEIGHT;
}

// A segment standing against the end of the other list.
Ordering against_end(const Seg& s) noexcept {
    if (s.is_number()) return s.number == 0 ? Ordering::Equal : Ordering::Greater;
    auto w = tag_weight(s.text);
    return (w && *w >= RELEASE_WEIGHT) ? Ordering::Greater : Ordering::Less;
}

Ordering cmp_seg(const Seg& a, const Seg& b) noexcept {
    if (a.is_number() && b.is_number()) return order_of(a.number, b.number);
    if (a.is_number()) return Ordering::Greater;
    if (b.is_number()) return Ordering::Less;
    const auto wa = tag_weight(a.text);
    const auto wb = tag_weight(b.text);
    if (!wa && !wb) {
        const int c = a.text.compare(b.text);
        return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
    }
    return order_of(wa.value_or(UNKNOWN_TAG_WEIGHT), wb.value_or(UNKNOWN_TAG_WEIGHT));
}

}  // namespace

std::size_t significant_length(std::span<const Seg> segs) noexcept {
    std::size_t n = segs.size();
    while (n > 0 && is_insignificant(segs[n - 1])) --n;
    return n;
}

int32_t effective_weight(const Seg& s) noexcept { return tag_weight(s.text).value_or(UNKNOWN_TAG_WEIGHT); }

Ordering cmp_segments(std::span<const Seg> a, std::span<const Seg> b) noexcept {
    const std::size_t la = significant_length(a);
    const std::size_t lb = significant_length(b);
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

Ordering cmp_generic(const ParsedVersion& a, const ParsedVersion& b) noexcept {
    if (a.epoch != b.epoch) return order_of(a.epoch, b.epoch);
    return cmp_segments(a.segments, b.segments);
}

}  // namespace quorlen::strategies::generic

namespace quorlen::strategies {

Result<ParsedRepr> GenericStrategy::parse(std::string_view input) { return ParsedRepr(parse_generic(input)); }

Ordering GenericStrategy::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {
    return generic::cmp_generic(expect<ParsedVersion>(a), expect<ParsedVersion>(b));
}

}  // namespace quorlen::strategies
