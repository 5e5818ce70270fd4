// Syntax checks of the ecosystems that reuse the generic or strict SemVer
// parse. Each looks at the trimmed input and returns success or the message
// that names the ecosystem; none changes what the parse is given.
#pragma once

#include <string_view>

#include "core/result.hpp"
#include "parser.hpp"

namespace quorlen::strategies::validators {

// What an ecosystem calls its versions in messages: "empty {name} {noun}"
// and "{name} version must start with a digit: '{input}'".
struct Label {
    std::string_view name;
    std::string_view noun;
};

// Fails on an empty or all-blank text.
Status check_not_empty(const Label& label, std::string_view input);
// Also fails when the trimmed text does not begin with an ASCII digit.
Status check_digit_first(const Label& label, std::string_view input);

using Check = Status (*)(std::string_view input);

template <const Label& L>
Status not_empty(std::string_view input) {
    return check_not_empty(L, input);
}
template <const Label& L>
Status digit_first(std::string_view input) {
    return check_digit_first(L, input);
}

inline constexpr Label RUBY{"Ruby gem", "version"};
inline constexpr Label NUGET{"NuGet", "version"};
inline constexpr Label CALVER{"CalVer", "version"};
inline constexpr Label ALPINE{"Alpine", "version"};
inline constexpr Label CONDA{"Conda", "version"};
inline constexpr Label GENTOO{"Gentoo", "version"};
inline constexpr Label TERRAFORM{"Terraform/OpenTofu", "version"};
inline constexpr Label SPACK{"Spack", "version"};
inline constexpr Label CPAN{"CPAN", "version"};
inline constexpr Label NIX{"Nix", "version"};
inline constexpr Label HOMEBREW{"Homebrew", "version"};
inline constexpr Label FREEBSD{"FreeBSD pkg", "version"};
inline constexpr Label DOCKER{"Docker", "tag"};

Status validate_arch(std::string_view input);
Status validate_cran(std::string_view input);
Status validate_composer(std::string_view input);
Status validate_maven(std::string_view input);
// A lower-case "v" directly followed by a digit.
Status validate_go(std::string_view input);

// Which shared parse an ecosystem is built on.
enum class Family : uint8_t { Generic, Semver, Own };

}  // namespace quorlen::strategies::validators
