// Homebrew versions as its Version class orders them: tokens of numbers,
// words, pre-release markers (`alpha`/`a1` < `beta`/`b1` < `pre` < `rc`, each
// with an optional number, all below the release), `p` patch levels and
// `.postN` above it, words below numbers, and `HEAD` above everything.
// Homebrew skips a zero met against a word and stops at the longer list's
// length, which is not a consistent order; here the zeros a word or the end
// follows are dropped before comparing (so 1.0 = 1 and 1.0a = 1a as there),
// which gives one.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::homebrew {

Ordering cmp_homebrew(std::string_view a, std::string_view b) noexcept;
std::string homebrew_key(std::string_view text);

inline constexpr TextOrder ORDER{&cmp_homebrew, &native::key_hash<&homebrew_key>};

}  // namespace quorlen::strategies::homebrew
