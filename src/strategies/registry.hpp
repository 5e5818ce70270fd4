// The only way the rest of the library parses or orders a version under an
// ecosystem: the strategy of the ecosystem's row.
#pragma once

#include <string_view>

#include "strategies/strategy.hpp"

namespace quorlen::strategies::registry {

const VersionStrategy& strategy_for(Ecosystem eco) noexcept;

}  // namespace quorlen::strategies::registry

namespace quorlen {

Result<ParsedRepr> parse_for_ecosystem(Ecosystem eco, std::string_view text);
Ordering compare_for_ecosystem(Ecosystem eco, const ParsedRepr& a, const ParsedRepr& b) noexcept;
// Parses both texts and orders them; the first text's failure wins.
Result<Ordering> compare_texts_for_ecosystem(Ecosystem eco, std::string_view a, std::string_view b);

}  // namespace quorlen
