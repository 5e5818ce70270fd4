// Spack versions as Spack orders them: runs of digits and runs of ASCII
// letters, whatever separates them; numbers by value above words, words by
// their bytes, and the branch names stable < trunk < head < master < main <
// develop above every number. A trailing `alpha`, `beta` or `rc` (with an
// optional number) after other components marks a pre-release of what comes
// before it. A list that starts the other is the lesser: 1.2 < 1.2.0.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::spack {

Ordering cmp_spack(std::string_view a, std::string_view b) noexcept;
std::string spack_key(std::string_view text);

inline constexpr TextOrder ORDER{&cmp_spack, &native::key_hash<&spack_key>};

}  // namespace quorlen::strategies::spack
