// Interim: routes through the generic parse until this family's rules land.
#include "strategies/validators.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies {
#define ROUTE_GENERIC(Type) \
    Result<ParsedRepr> Type::parse(std::string_view input) { return GenericStrategy::parse(input); } \
    Ordering Type::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept { return GenericStrategy::compare(a, b); }
ROUTE_GENERIC(RubyStrategy)
ROUTE_GENERIC(NugetStrategy)
ROUTE_GENERIC(ComposerStrategy)
ROUTE_GENERIC(CalverStrategy)
ROUTE_GENERIC(AlpineStrategy)
ROUTE_GENERIC(DockerStrategy)
ROUTE_GENERIC(CondaStrategy)
ROUTE_GENERIC(ArchStrategy)
ROUTE_GENERIC(GentooStrategy)
ROUTE_GENERIC(CranStrategy)
ROUTE_GENERIC(SpackStrategy)
ROUTE_GENERIC(TerraformStrategy)
ROUTE_GENERIC(CpanStrategy)
ROUTE_GENERIC(NixStrategy)
ROUTE_GENERIC(HomebrewStrategy)
ROUTE_GENERIC(FreebsdStrategy)
}  // namespace quorlen::strategies
