#include "strategies/registry.hpp"

#include "ecosystems.hpp"

namespace quorlen::strategies {

const VersionStrategy& registry::strategy_for(Ecosystem eco) noexcept { return row_of(eco).rules.strategy; }

}  // namespace quorlen::strategies

namespace quorlen {

Result<ParsedRepr> parse_for_ecosystem(Ecosystem eco, std::string_view text) {
    return strategies::registry::strategy_for(eco).parse(text);
}

Ordering compare_for_ecosystem(Ecosystem eco, const ParsedRepr& a, const ParsedRepr& b) noexcept {
    return strategies::registry::strategy_for(eco).compare(a, b);
}

Result<Ordering> compare_texts_for_ecosystem(Ecosystem eco, std::string_view a, std::string_view b) {
    return strategies::registry::strategy_for(eco).compare_texts(a, b);
}

}  // namespace quorlen
