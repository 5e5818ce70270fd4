// The ecosystems without a version format of their own: a syntax check in
// front of the generic parse (the generic family) or of the strict SemVer
// parse (the SemVer family).
#include "strategies/validators.hpp"

#include "core/unicode.hpp"
#include "parser.hpp"
#include "strategies/generic.hpp"
#include "strategies/semver.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies::validators {

namespace {

// Every message of the checks lives here. {input} is the text as received,
// untrimmed, unless a message says otherwise.

Failure empty_text(const Label& l) {
    std::string msg = "empty ";
    msg += l.name;
    msg += ' ';
    msg += l.noun;
    return fail(std::move(msg));
}
Failure must_start_with_digit(const Label& l, std::string_view shown) {
    return fail(quoted(std::string(l.name) + " version must start with a digit", shown));
}
Failure invalid_arch(std::string_view input) { return fail(quoted("invalid Arch version", input)); }
Failure cran_bad_char(std::string_view input) {
    return fail(quoted("R/CRAN version must contain only digits, '.', or '-'", input));
}
Failure maven_numeral(std::string_view numeral, std::string_view input) {
    return fail(quoted("Maven version contains a non-ASCII numeral '" + std::string(numeral) + "'", input));
}
Failure go_prefix(std::string_view input) {
    return fail(quoted("Go version must start with a lowercase 'v' prefix", input));
}

constexpr Label COMPOSER{"Composer", "version"};
constexpr Label ARCH{"Arch", "version"};
constexpr Label CRAN{"R/CRAN", "version"};
constexpr Label MAVEN{"Maven", "version"};
constexpr Label RUBY{"Ruby gem", "version"};
constexpr Label NUGET{"NuGet", "version"};
constexpr Label CALVER{"CalVer", "version"};
constexpr Label ALPINE{"Alpine", "version"};
constexpr Label CONDA{"Conda", "version"};
constexpr Label GENTOO{"Gentoo", "version"};
constexpr Label TERRAFORM{"Terraform/OpenTofu", "version"};
constexpr Label SPACK{"Spack", "version"};
constexpr Label CPAN{"CPAN", "version"};
constexpr Label NIX{"Nix", "version"};
constexpr Label HOMEBREW{"Homebrew", "version"};
constexpr Label FREEBSD{"FreeBSD pkg", "version"};
constexpr Label DOCKER{"Docker", "tag"};

bool starts_with_digit(std::string_view t) noexcept { return !t.empty() && ascii::is_digit(t[0]); }

// "v1" or "V1": a prefix some ecosystems tolerate before the first digit.
bool has_v_prefix(std::string_view t) noexcept {
    return t.size() >= 2 && (t[0] == 'v' || t[0] == 'V') && ascii::is_digit(t[1]);
}

}  // namespace

Status check_not_empty(const Label& label, std::string_view input) {
    if (unicode::trim(input).empty()) return empty_text(label);
    return success();
}

Status check_digit_first(const Label& label, std::string_view input) {
    const std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(label);
    if (!starts_with_digit(t)) return must_start_with_digit(label, input);
    return success();
}

Status validate_composer(std::string_view input) {
    std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(COMPOSER);
    if (has_v_prefix(t)) t.remove_prefix(1);
    if (!starts_with_digit(t)) return must_start_with_digit(COMPOSER, input);
    return success();
}

Status validate_arch(std::string_view input) {
    std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(ARCH);
    // Only the first ':' can end an epoch, and only after digits alone.
    if (const std::size_t colon = t.find(':'); colon != std::string_view::npos) {
        bool epoch = true;
        for (std::size_t i = 0; i < colon; ++i) epoch = epoch && ascii::is_digit(t[i]);
        if (epoch) {
            if (colon + 1 == t.size()) return invalid_arch(input);
            t.remove_prefix(colon + 1);
        }
    }
    if (!ascii::is_alnum(t[0])) return invalid_arch(input);
    return success();
}

Status validate_cran(std::string_view input) {
    const std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(CRAN);
    // The one message that shows the trimmed text.
    if (!starts_with_digit(t)) return must_start_with_digit(CRAN, t);
    for (char c : t)
        if (!ascii::is_digit(c) && c != '.' && c != '-') return cran_bad_char(input);
    return success();
}

Status validate_maven(std::string_view input) {
    const std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(MAVEN);
    if (!starts_with_digit(t)) return must_start_with_digit(MAVEN, input);
    for (std::size_t i = 0; i < t.size();) {
        const unicode::Decoded d = unicode::decode(t, i);
        if (d.cp >= 0x80 && unicode::is_numeral(d.cp)) return maven_numeral(t.substr(i, d.len), input);
        i += d.len;
    }
    return success();
}

Status validate_go(std::string_view input) {
    const std::string_view t = unicode::trim(input);
    // Only the lower-case prefix is published; "V1.2.3" is no Go version.
    if (t.size() < 2 || t[0] != 'v' || !ascii::is_digit(t[1])) return go_prefix(input);
    return success();
}

}  // namespace quorlen::strategies::validators

namespace quorlen::strategies {

namespace {

Result<ParsedRepr> generic_after(Status check, std::string_view input) {
    if (!check) return std::move(check).failure();
    return ParsedRepr(parse_generic(input));
}

Result<ParsedRepr> semver_after(Status check, std::string_view input) {
    if (!check) return std::move(check).failure();
    return SemverStrategy::parse(input);
}

// The order of failures is that of parse(a), parse(b): a's check, a's parse,
// then b's. The generic parse never fails, so both checks come first there.
template <class Check>
Result<Ordering> generic_texts_after(Check check, std::string_view a, std::string_view b) {
    if (Status s = check(a); !s) return std::move(s).failure();
    if (Status s = check(b); !s) return std::move(s).failure();
    return generic::compare_generic_texts(a, b);
}

template <class Check>
Result<Ordering> semver_texts_after(Check check, std::string_view a, std::string_view b) {
    if (Status s = check(a); !s) return std::move(s).failure();
    auto left = semver::parse_semver_view(a);
    if (!left) return std::move(left).failure();
    if (Status s = check(b); !s) return std::move(s).failure();
    auto right = semver::parse_semver_view(b);
    if (!right) return std::move(right).failure();
    return semver::cmp_semver_view(*left, *right);
}

}  // namespace

// `check` is an expression over the strategy's `input`; a passing check hands
// the input on untouched, since both shared parses trim by themselves.
#define GENERIC_FAMILY(Type, check)                                                            \
    namespace {                                                                                 \
    Status Type##_check(std::string_view input) { return check; }                               \
    }                                                                                           \
    Result<ParsedRepr> Type::parse(std::string_view input) { return generic_after(Type##_check(input), input); } \
    Ordering Type::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {                 \
        return GenericStrategy::compare(a, b);                                                  \
    }                                                                                           \
    Result<Ordering> Type::compare_texts(std::string_view a, std::string_view b) {              \
        return generic_texts_after(Type##_check, a, b);                                         \
    }

GENERIC_FAMILY(RubyStrategy, validators::check_digit_first(validators::RUBY, input))
GENERIC_FAMILY(NugetStrategy, validators::check_digit_first(validators::NUGET, input))
GENERIC_FAMILY(CalverStrategy, validators::check_digit_first(validators::CALVER, input))
GENERIC_FAMILY(AlpineStrategy, validators::check_digit_first(validators::ALPINE, input))
GENERIC_FAMILY(CondaStrategy, validators::check_digit_first(validators::CONDA, input))
GENERIC_FAMILY(GentooStrategy, validators::check_digit_first(validators::GENTOO, input))
GENERIC_FAMILY(TerraformStrategy, validators::check_digit_first(validators::TERRAFORM, input))
GENERIC_FAMILY(SpackStrategy, validators::check_not_empty(validators::SPACK, input))
GENERIC_FAMILY(CpanStrategy, validators::check_not_empty(validators::CPAN, input))
GENERIC_FAMILY(NixStrategy, validators::check_not_empty(validators::NIX, input))
GENERIC_FAMILY(HomebrewStrategy, validators::check_not_empty(validators::HOMEBREW, input))
GENERIC_FAMILY(FreebsdStrategy, validators::check_not_empty(validators::FREEBSD, input))
GENERIC_FAMILY(DockerStrategy, validators::check_not_empty(validators::DOCKER, input))
GENERIC_FAMILY(ComposerStrategy, validators::validate_composer(input))
GENERIC_FAMILY(ArchStrategy, validators::validate_arch(input))
GENERIC_FAMILY(CranStrategy, validators::validate_cran(input))
#undef GENERIC_FAMILY

// Only Go checks anything; the other members differ from semver in name alone.
#define SEMVER_FAMILY(Type, check)                                                            \
    namespace {                                                                                \
    Status Type##_check([[maybe_unused]] std::string_view input) { return check; }             \
    }                                                                                          \
    Result<ParsedRepr> Type::parse(std::string_view input) { return semver_after(Type##_check(input), input); } \
    Ordering Type::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {                \
        return SemverStrategy::compare(a, b);                                                  \
    }                                                                                          \
    Result<Ordering> Type::compare_texts(std::string_view a, std::string_view b) {             \
        return semver_texts_after(Type##_check, a, b);                                         \
    }

SEMVER_FAMILY(GoStrategy, validators::validate_go(input))
SEMVER_FAMILY(CratesStrategy, success())
SEMVER_FAMILY(HexStrategy, success())
SEMVER_FAMILY(SwiftStrategy, success())
SEMVER_FAMILY(DartStrategy, success())
SEMVER_FAMILY(JuliaStrategy, success())
SEMVER_FAMILY(HelmStrategy, success())
#undef SEMVER_FAMILY

// Membership runs through the parses above: a member's check is the one its
// parse applies.
validators::FamilyOf validators::family_of(Ecosystem eco) noexcept {
    using F = Family;
    switch (eco) {
        case Ecosystem::Generic: return {F::Generic, nullptr};
        case Ecosystem::Semver:
        case Ecosystem::Npm: return {F::Semver, nullptr};
        case Ecosystem::Pep440:
        case Ecosystem::Debian:
        case Ecosystem::Rpm:
        case Ecosystem::Maven: return {F::Own, nullptr};
        case Ecosystem::Ruby: return {F::Generic, RubyStrategy_check};
        case Ecosystem::Nuget: return {F::Generic, NugetStrategy_check};
        case Ecosystem::Calver: return {F::Generic, CalverStrategy_check};
        case Ecosystem::Alpine: return {F::Generic, AlpineStrategy_check};
        case Ecosystem::Conda: return {F::Generic, CondaStrategy_check};
        case Ecosystem::Gentoo: return {F::Generic, GentooStrategy_check};
        case Ecosystem::Terraform: return {F::Generic, TerraformStrategy_check};
        case Ecosystem::Spack: return {F::Generic, SpackStrategy_check};
        case Ecosystem::Cpan: return {F::Generic, CpanStrategy_check};
        case Ecosystem::Nix: return {F::Generic, NixStrategy_check};
        case Ecosystem::Homebrew: return {F::Generic, HomebrewStrategy_check};
        case Ecosystem::Freebsd: return {F::Generic, FreebsdStrategy_check};
        case Ecosystem::Docker: return {F::Generic, DockerStrategy_check};
        case Ecosystem::Composer: return {F::Generic, ComposerStrategy_check};
        case Ecosystem::Arch: return {F::Generic, ArchStrategy_check};
        case Ecosystem::Cran: return {F::Generic, CranStrategy_check};
        case Ecosystem::Go: return {F::Semver, GoStrategy_check};
        case Ecosystem::Crates:
        case Ecosystem::Hex:
        case Ecosystem::Swift:
        case Ecosystem::Dart:
        case Ecosystem::Julia:
        case Ecosystem::Helm: return {F::Semver, nullptr};
    }
    internal_fault("ecosystem outside the table");
}

}  // namespace quorlen::strategies
