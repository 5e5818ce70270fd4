// The generic ordering: epoch, then the segment lists with trailing zeros and
// release words ignored, words ranked by their tag weight.
#pragma once

#include <span>

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

}  // namespace quorlen::strategies::generic
