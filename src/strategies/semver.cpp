// Interim: routes through the generic parse until the strict parser lands.
#include "strategies/semver.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies {
#define ROUTE_GENERIC(Type) \
    Result<ParsedRepr> Type::parse(std::string_view input) { return GenericStrategy::parse(input); } \
    Ordering Type::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept { return GenericStrategy::compare(a, b); }
ROUTE_GENERIC(SemverStrategy)
ROUTE_GENERIC(GoStrategy)
ROUTE_GENERIC(CratesStrategy)
ROUTE_GENERIC(HexStrategy)
ROUTE_GENERIC(SwiftStrategy)
ROUTE_GENERIC(DartStrategy)
ROUTE_GENERIC(JuliaStrategy)
ROUTE_GENERIC(HelmStrategy)
}  // namespace quorlen::strategies
