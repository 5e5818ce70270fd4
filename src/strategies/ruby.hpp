// RubyGems versions as Gem::Version orders them: runs of digits and of
// letters, a '-' read as ".pre.", zeros at the end of the leading numbers
// and at the very end dropped; then position by position, a missing one
// counting as 0, letters below numbers and words by their bytes (so "dev"
// ranks above "alpha" and "pre" below "rc").
#pragma once

#include <cstdint>
#include <string_view>

#include "core/result.hpp"
#include "strategies/text_order.hpp"

namespace quorlen::strategies::ruby {

Ordering compare(std::string_view a, std::string_view b) noexcept;
uint64_t hash(std::string_view text);

inline constexpr TextOrder ORDER{&compare, &hash};

}  // namespace quorlen::strategies::ruby
