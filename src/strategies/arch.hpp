// Arch Linux package versions as pacman orders them: an epoch before ':',
// the release after the last '-', each part by pacman's segment comparison.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/result.hpp"
#include "strategies/text_order.hpp"

namespace quorlen::strategies::arch {

// pacman's comparison of one part: runs of digits by value, runs of letters
// by their bytes, a number above letters, and the length of the separator
// runs between them counted.
Ordering part_cmp(std::string_view a, std::string_view b) noexcept;

// Whole versions; a release counts only when both texts have one.
Ordering compare(std::string_view a, std::string_view b) noexcept;
uint64_t hash(std::string_view text);

inline constexpr TextOrder ORDER{&compare, &hash};

}  // namespace quorlen::strategies::arch
