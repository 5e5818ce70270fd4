#include "strategies/generic.hpp"

#include "strategies/strategy.hpp"

namespace quorlen::strategies::generic {

std::size_t significant_length(std::span<const Seg> segs) noexcept { return detail::significant_length_of(segs); }

int32_t effective_weight(const Seg& s) noexcept { return tag_weight(s.text).value_or(UNKNOWN_TAG_WEIGHT); }

Ordering cmp_segments(std::span<const Seg> a, std::span<const Seg> b) noexcept { return detail::cmp_segments_of(a, b); }

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
