// Syntax checks of the ecosystems that reuse the generic or strict SemVer
// parse. Each looks at the trimmed input and returns success or the message
// that names the ecosystem; none changes what the parse is given.
#pragma once

#include <string_view>

#include "core/result.hpp"

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

Status validate_arch(std::string_view input);
Status validate_cran(std::string_view input);
Status validate_composer(std::string_view input);
Status validate_maven(std::string_view input);
// A lower-case "v" directly followed by a digit.
Status validate_go(std::string_view input);

}  // namespace quorlen::strategies::validators
