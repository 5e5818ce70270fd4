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

#include "core/unicode.hpp"
#include "parser.hpp"

namespace quorlen::strategies::validators {

Status validate_maven(std::string_view input) {
    const std::string_view t = unicode::trim(input);
    if (t.empty()) return fail("empty Maven version");
    if (!ascii::is_digit(t[0])) return fail("Maven version must start with a digit: '" + std::string(input) + "'");
    for (std::size_t i = 0; i < t.size();) {
        const unicode::Decoded d = unicode::decode(t, i);
        if (d.cp >= 0x80 && unicode::is_numeral(d.cp))
            return fail("Maven version contains a non-ASCII numeral '" + std::string(t.substr(i, d.len)) + "': '" +
                        std::string(input) + "'");
        i += d.len;
    }
    return success();
}

}  // namespace quorlen::strategies::validators
