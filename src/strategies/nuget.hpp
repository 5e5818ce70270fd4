// NuGet package versions: up to four numeric parts (missing ones are 0), an
// optional SemVer 2 pre-release after '-', compared without regard to ASCII
// case, and build metadata after '+', which takes no part.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::nuget {

Ordering cmp_nuget(std::string_view a, std::string_view b) noexcept;
std::string nuget_key(std::string_view text);

inline constexpr TextOrder ORDER{&cmp_nuget, &native::key_hash<&nuget_key>};

}  // namespace quorlen::strategies::nuget
