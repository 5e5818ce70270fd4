// Alpine package versions as apk orders them: digits, an optional letter,
// `_suffix` words with optional numbers, and a `-rN` package release, read
// as a stream of tokens compared in turn.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::alpine {

Ordering cmp_alpine(std::string_view a, std::string_view b) noexcept;
std::string alpine_key(std::string_view text);

inline constexpr TextOrder ORDER{&cmp_alpine, &native::key_hash<&alpine_key>};

}  // namespace quorlen::strategies::alpine
