#include "strategies/registry.hpp"

#include <array>

namespace quorlen::strategies {

namespace {

constexpr VersionStrategy GENERIC_STRATEGY = VersionStrategy::of<GenericStrategy>("GenericStrategy");
constexpr VersionStrategy SEMVER_STRATEGY = VersionStrategy::of<SemverStrategy>("SemverStrategy");
constexpr VersionStrategy PEP440_STRATEGY = VersionStrategy::of<Pep440Strategy>("Pep440Strategy");
constexpr VersionStrategy DEBIAN_STRATEGY = VersionStrategy::of<DebianStrategy>("DebianStrategy");
constexpr VersionStrategy RPM_STRATEGY = VersionStrategy::of<RpmStrategy>("RpmStrategy");
constexpr VersionStrategy RUBY_STRATEGY = VersionStrategy::of<RubyStrategy>("RubyStrategy");
constexpr VersionStrategy MAVEN_STRATEGY = VersionStrategy::of<MavenStrategy>("MavenStrategy");
constexpr VersionStrategy GO_STRATEGY = VersionStrategy::of<GoStrategy>("GoStrategy");
constexpr VersionStrategy NUGET_STRATEGY = VersionStrategy::of<NugetStrategy>("NugetStrategy");
constexpr VersionStrategy COMPOSER_STRATEGY = VersionStrategy::of<ComposerStrategy>("ComposerStrategy");
constexpr VersionStrategy CRATES_STRATEGY = VersionStrategy::of<CratesStrategy>("CratesStrategy");
constexpr VersionStrategy HEX_STRATEGY = VersionStrategy::of<HexStrategy>("HexStrategy");
constexpr VersionStrategy SWIFT_STRATEGY = VersionStrategy::of<SwiftStrategy>("SwiftStrategy");
constexpr VersionStrategy CALVER_STRATEGY = VersionStrategy::of<CalverStrategy>("CalverStrategy");
constexpr VersionStrategy ALPINE_STRATEGY = VersionStrategy::of<AlpineStrategy>("AlpineStrategy");
constexpr VersionStrategy DOCKER_STRATEGY = VersionStrategy::of<DockerStrategy>("DockerStrategy");
constexpr VersionStrategy CONDA_STRATEGY = VersionStrategy::of<CondaStrategy>("CondaStrategy");
constexpr VersionStrategy ARCH_STRATEGY = VersionStrategy::of<ArchStrategy>("ArchStrategy");
constexpr VersionStrategy GENTOO_STRATEGY = VersionStrategy::of<GentooStrategy>("GentooStrategy");
constexpr VersionStrategy CRAN_STRATEGY = VersionStrategy::of<CranStrategy>("CranStrategy");
constexpr VersionStrategy SPACK_STRATEGY = VersionStrategy::of<SpackStrategy>("SpackStrategy");
constexpr VersionStrategy DART_STRATEGY = VersionStrategy::of<DartStrategy>("DartStrategy");
constexpr VersionStrategy JULIA_STRATEGY = VersionStrategy::of<JuliaStrategy>("JuliaStrategy");
constexpr VersionStrategy TERRAFORM_STRATEGY = VersionStrategy::of<TerraformStrategy>("TerraformStrategy");
constexpr VersionStrategy HELM_STRATEGY = VersionStrategy::of<HelmStrategy>("HelmStrategy");
constexpr VersionStrategy CPAN_STRATEGY = VersionStrategy::of<CpanStrategy>("CpanStrategy");
constexpr VersionStrategy NIX_STRATEGY = VersionStrategy::of<NixStrategy>("NixStrategy");
constexpr VersionStrategy HOMEBREW_STRATEGY = VersionStrategy::of<HomebrewStrategy>("HomebrewStrategy");
constexpr VersionStrategy FREEBSD_STRATEGY = VersionStrategy::of<FreebsdStrategy>("FreebsdStrategy");

// Indexed by Ecosystem value; npm shares the SemVer instance.
constexpr std::array<const VersionStrategy*, Ecosystem::COUNT> TABLE = {
    &GENERIC_STRATEGY, &SEMVER_STRATEGY, &PEP440_STRATEGY, &DEBIAN_STRATEGY, &RPM_STRATEGY,
    &RUBY_STRATEGY,    &MAVEN_STRATEGY,  &GO_STRATEGY,     &SEMVER_STRATEGY, &NUGET_STRATEGY,
    &COMPOSER_STRATEGY, &CRATES_STRATEGY, &HEX_STRATEGY,   &SWIFT_STRATEGY,  &CALVER_STRATEGY,
    &ALPINE_STRATEGY,  &DOCKER_STRATEGY, &CONDA_STRATEGY,  &ARCH_STRATEGY,   &GENTOO_STRATEGY,
    &CRAN_STRATEGY,    &SPACK_STRATEGY,  &DART_STRATEGY,   &JULIA_STRATEGY,  &TERRAFORM_STRATEGY,
    &HELM_STRATEGY,    &CPAN_STRATEGY,   &NIX_STRATEGY,    &HOMEBREW_STRATEGY, &FREEBSD_STRATEGY,
};

}  // namespace

const VersionStrategy& registry::strategy_for(Ecosystem eco) noexcept { return *TABLE[eco.index()]; }

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
