// Everything the library knows of each ecosystem, one row apiece: its names,
// the rules that parse and order its versions, how a parsed version of it is
// stored, and the package-URL types and OSV ecosystem names that stand for
// it. Every other table of ecosystems is derived from these rows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "parser.hpp"
#include "strategies/alpine.hpp"
#include "strategies/arch.hpp"
#include "strategies/conda.hpp"
#include "strategies/cpan.hpp"
#include "strategies/families.hpp"
#include "strategies/freebsd.hpp"
#include "strategies/gentoo.hpp"
#include "strategies/homebrew.hpp"
#include "strategies/nix.hpp"
#include "strategies/nuget.hpp"
#include "strategies/ruby.hpp"
#include "strategies/spack.hpp"
#include "strategies/strategy.hpp"
#include "strategies/terraform.hpp"
#include "strategies/text_order.hpp"
#include "strategies/validators.hpp"

namespace quorlen {

// How an instance of a parsed version keeps the ecosystem's parse beside the
// generic one. An ecosystem with a text order stores the generic parse alone
// and orders the text itself by rules of its own.
enum class StoreKind : uint8_t { Generic, Pep440, Semver, Debian, Rpm, Maven };

// The parse and ordering of an ecosystem, and what they are built on.
struct Rules {
    strategies::validators::Family family;
    strategies::validators::Check check;  // null when the family's parse takes any text
    VersionStrategy strategy;
    StoreKind store;
    // Set where the ecosystem keeps the generic parse (StoreKind::Generic)
    // but orders and hashes the texts by its own rules.
    const strategies::TextOrder* text_order = nullptr;
};

// Lists of names are one text with the names separated by commas.
struct EcosystemRow {
    Ecosystem::Value id;
    std::string_view name;
    std::string_view aliases;
    Rules rules;
    std::string_view purl_types;
    std::string_view osv_names;
};

namespace rows {

using strategies::validators::Check;
using strategies::validators::Family;

// The generic parse and ordering behind a check.
template <Check C = nullptr>
constexpr Rules generic() {
    if constexpr (C == nullptr)
        return {Family::Generic, nullptr, VersionStrategy::of<strategies::GenericStrategy>(), StoreKind::Generic};
    else
        return {Family::Generic, C, VersionStrategy::of<strategies::GenericAfter<C>>(), StoreKind::Generic};
}

// The strict SemVer parse and ordering behind a check.
template <Check C = nullptr>
constexpr Rules semver() {
    if constexpr (C == nullptr)
        return {Family::Semver, nullptr, VersionStrategy::of<strategies::SemverStrategy>(), StoreKind::Semver};
    else
        return {Family::Semver, C, VersionStrategy::of<strategies::SemverAfter<C>>(), StoreKind::Semver};
}

// A format of its own.
template <class S>
constexpr Rules own(StoreKind store) {
    return {Family::Own, nullptr, VersionStrategy::of<S>(), store};
}

// The generic parse behind a check, ordered by the ecosystem's own rules.
template <Check C, const strategies::TextOrder& T>
constexpr Rules text_order() {
    return {Family::Own, C, VersionStrategy::of<strategies::TextOrderAfter<C, T>>(), StoreKind::Generic, &T};
}

template <const strategies::validators::Label& L>
constexpr Rules generic_digit_first() {
    return generic<&strategies::validators::digit_first<L>>();
}
template <const strategies::validators::Label& L>
constexpr Rules generic_not_empty() {
    return generic<&strategies::validators::not_empty<L>>();
}

namespace v = strategies::validators;
namespace s = strategies;
using E = Ecosystem;

// In the order of Ecosystem::Value. No package-URL type names the strict
// SemVer or calendar orderings: those are properties of a project's
// versions, not of a package registry. OSV writes Go versions without the
// "v" the go rules require, so OSV's Go is read as plain SemVer; Bitnami's
// records give SEMVER ranges.
inline constexpr std::array<EcosystemRow, Ecosystem::COUNT> ALL = {{
    {E::Generic, "generic", "", generic(), "generic", "conancenter,hackage,ghc,github actions"},
    {E::Semver, "semver", "semver_strict,semver-strict", semver(), "", "go,bitnami"},
    {E::Pep440, "pep440", "python,pep-440", own<s::Pep440Strategy>(StoreKind::Pep440), "pypi,python", "pypi"},
    {E::Debian, "debian", "deb,dpkg", own<s::DebianStrategy>(StoreKind::Debian), "deb,debian", "debian,ubuntu"},
    {E::Rpm, "rpm", "redhat", own<s::RpmStrategy>(StoreKind::Rpm), "rpm",
     "red hat,rocky linux,almalinux,opensuse,suse,mageia,openeuler,photon os,azure linux,fedora,centos,"
     "oracle linux,amazon linux"},
    {E::Ruby, "ruby", "gem,rubygems", text_order<&v::digit_first<v::RUBY>, s::ruby::ORDER>(), "gem,rubygems", "rubygems"},
    {E::Maven, "maven", "mvn", own<s::MavenStrategy>(StoreKind::Maven), "maven", "maven"},
    {E::Go, "go", "golang", semver<&v::validate_go>(), "golang,go", ""},
    {E::Npm, "npm", "node,nodejs", semver(), "npm", "npm"},
    {E::Nuget, "nuget", "dotnet", text_order<&v::digit_first<v::NUGET>, s::nuget::ORDER>(), "nuget", "nuget"},
    {E::Composer, "composer", "php,packagist", generic<&v::validate_composer>(), "composer", "packagist"},
    {E::Crates, "crates", "cargo,crates.io", semver(), "cargo,crates", "crates.io"},
    {E::Hex, "hex", "elixir,erlang", semver(), "hex", "hex"},
    {E::Swift, "swift", "swiftpm", semver(), "swift", "swifturl"},
    {E::Calver, "calver", "", generic_digit_first<v::CALVER>(), "", ""},
    {E::Alpine, "alpine", "apk", text_order<&v::digit_first<v::ALPINE>, s::alpine::ORDER>(), "apk,alpine", "alpine,chainguard,wolfi,minimos"},
    {E::Docker, "docker", "oci", generic_not_empty<v::DOCKER>(), "oci,docker", ""},
    {E::Conda, "conda", "mamba", text_order<&v::digit_first<v::CONDA>, s::conda::ORDER>(), "conda", ""},
    {E::Arch, "arch", "pacman,archlinux", text_order<&v::validate_arch, s::arch::ORDER>(), "arch,pacman", ""},
    {E::Gentoo, "gentoo", "portage", text_order<&v::digit_first<v::GENTOO>, s::gentoo::ORDER>(), "gentoo,portage", ""},
    {E::Cran, "cran", "r,r-cran", generic<&v::validate_cran>(), "r,cran", "cran,bioconductor"},
    {E::Spack, "spack", "", text_order<&v::not_empty<v::SPACK>, s::spack::ORDER>(), "spack", ""},
    {E::Dart, "dart", "pub,flutter", semver(), "pub,dart", "pub"},
    {E::Julia, "julia", "pkg", semver(), "julia", ""},
    {E::Terraform, "terraform", "opentofu", text_order<&v::digit_first<v::TERRAFORM>, s::terraform::ORDER>(), "terraform,opentofu", ""},
    {E::Helm, "helm", "chart,charts", semver(), "helm", ""},
    {E::Cpan, "cpan", "perl", text_order<&v::not_empty<v::CPAN>, s::cpan::ORDER>(), "cpan,perl", ""},
    {E::Nix, "nix", "nixpkgs", text_order<&v::not_empty<v::NIX>, s::nix::ORDER>(), "nix,nixpkgs", ""},
    {E::Homebrew, "homebrew", "brew", text_order<&v::not_empty<v::HOMEBREW>, s::homebrew::ORDER>(), "brew,homebrew", ""},
    // The FreeBSD registry's package-URL type is "pkg"; as an ecosystem name
    // that word means Julia, so names and types are looked up apart.
    {E::Freebsd, "freebsd", "freebsd-pkg", text_order<&v::not_empty<v::FREEBSD>, s::freebsd::ORDER>(), "pkg,freebsd", ""},
}};

static_assert([] {
    for (std::size_t i = 0; i < ALL.size(); ++i)
        if (ALL[i].id != i) return false;
    return true;
}(), "rows are in the order of Ecosystem::Value");

}  // namespace rows

inline constexpr const std::array<EcosystemRow, Ecosystem::COUNT>& ECOSYSTEMS = rows::ALL;

constexpr const EcosystemRow& row_of(Ecosystem eco) noexcept { return ECOSYSTEMS[eco.index()]; }

// Calls f(name) for each name of a comma-separated list; stops early when f
// returns true, and returns whether it did.
template <class F>
constexpr bool any_name(std::string_view list, F f) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (f(list.substr(0, comma))) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

// The ecosystem a package-URL type (lower case, exact) stands for.
std::optional<Ecosystem> ecosystem_for_purl_type(std::string_view type) noexcept;

// The ecosystem whose ordering applies to an OSV ecosystem name: ASCII case
// ignored, a release suffix after ':' and surrounding blanks left out.
Result<Ecosystem> ecosystem_for_osv_name(std::string_view name);

}  // namespace quorlen
