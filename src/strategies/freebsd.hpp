// FreeBSD package versions as `pkg version` orders them:
// PORTVERSION[_PORTREVISION][,PORTEPOCH], the epoch first, then the port's
// version component by component, then the revision.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::freebsd {

Ordering cmp_freebsd(std::string_view a, std::string_view b) noexcept;
std::string freebsd_key(std::string_view text);

inline constexpr TextOrder ORDER{&cmp_freebsd, &native::key_hash<&freebsd_key>};

}  // namespace quorlen::strategies::freebsd
