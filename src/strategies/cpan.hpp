// CPAN versions as Perl's version objects order them. A text with a leading
// 'v' or two dots or more is a dotted version, one number per component;
// any other is a decimal, whose fraction Perl reads in groups of three
// digits (1.15 is 1.150, above 1.9 = 1.900 only in a dotted reading). An
// underscore joins digits. Whatever follows the numbers Perl reads (a
// "-TRIAL", letters) orders after them as a generic version would, below
// nothing at all.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/result.hpp"
#include "strategies/text_order.hpp"

namespace quorlen::strategies::cpan {

Ordering compare(std::string_view a, std::string_view b) noexcept;
uint64_t hash(std::string_view text);

inline constexpr TextOrder ORDER{&compare, &hash};

}  // namespace quorlen::strategies::cpan
