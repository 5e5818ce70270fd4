// Gentoo package versions ordered by the algorithm of the package manager
// specification: numeric components, an optional letter, `_suffix` words
// with optional numbers, and a `-rN` revision.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::gentoo {

Ordering cmp_gentoo(std::string_view a, std::string_view b) noexcept;
std::string gentoo_key(std::string_view text);

inline constexpr TextOrder ORDER{&cmp_gentoo, &native::key_hash<&gentoo_key>};

}  // namespace quorlen::strategies::gentoo
