// PEP 440 versions: a syntax screen, the generic parse, and a local label that
// takes part in the ordering.
#pragma once

#include <optional>
#include <string_view>

#include "parser.hpp"

namespace quorlen::strategies::pep440 {

using LocalLabel = InlineVec<Seg, 4>;

struct Pep440Version {
    ParsedVersion version;           // parse_generic of the whole input
    std::optional<LocalLabel> local; // present (maybe empty) when the input has '+'
};

// The syntax screen: the text after the prefix and the epoch, which holds
// the local label after its first '+'.
Result<std::string_view> screen(std::string_view input);
// The local label of a screened text, if it has one.
std::optional<std::string_view> local_text(std::string_view rest) noexcept;

Result<Pep440Version> parse_pep440(std::string_view input);
Ordering cmp_pep440(const Pep440Version& a, const Pep440Version& b) noexcept;
// Screens both texts and orders them without building either parse; the
// first text's failure wins.
Result<Ordering> compare_pep440_texts(std::string_view a, std::string_view b);

}  // namespace quorlen::strategies::pep440
