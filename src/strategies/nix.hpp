// Nix versions as builtins.compareVersions orders them: components split at
// '.' and '-' and where digits meet other characters; numbers by value, and
// "pre" below everything, an absent component below a number, a word below
// a number, words by their bytes. So 1.0 < 1.0.0 and 1.0pre1 < 1.0.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/result.hpp"
#include "strategies/text_order.hpp"

namespace quorlen::strategies::nix {

Ordering compare(std::string_view a, std::string_view b) noexcept;
uint64_t hash(std::string_view text);

inline constexpr TextOrder ORDER{&compare, &hash};

}  // namespace quorlen::strategies::nix
