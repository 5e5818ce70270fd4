// Syntax checks of the ecosystems that reuse the generic or strict SemVer
// parse.
#pragma once

#include <string_view>

#include "core/result.hpp"

namespace quorlen::strategies::validators {

Status validate_arch(std::string_view input);
Status validate_cran(std::string_view input);
Status validate_composer(std::string_view input);
Status validate_maven(std::string_view input);

}  // namespace quorlen::strategies::validators
