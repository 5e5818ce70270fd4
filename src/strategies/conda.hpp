// Conda package versions as conda's VersionOrder ranks them: an optional
// epoch `N!`, components split at '.', '_' and '-', each a run of numbers and
// words ("dev" below every word, "post" above every number), a local
// version after '+' compared last. Case is ignored.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::conda {

Ordering cmp_conda(std::string_view a, std::string_view b) noexcept;
std::string conda_key(std::string_view text);

inline constexpr TextOrder ORDER{&cmp_conda, &native::key_hash<&conda_key>};

}  // namespace quorlen::strategies::conda
