// Interim: routes through the generic parse until this family's rules land.
#include "strategies/maven.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies {
#define ROUTE_GENERIC(Type) \
    Result<ParsedRepr> Type::parse(std::string_view input) { return GenericStrategy::parse(input); } \
    Ordering Type::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept { return GenericStrategy::compare(a, b); }
ROUTE_GENERIC(MavenStrategy)
}  // namespace quorlen::strategies

namespace quorlen::strategies::maven {
std::string MavenVersion::canonical() const { return {}; }  // interim
}  // namespace quorlen::strategies::maven
