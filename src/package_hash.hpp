// Hashes of Debian and RPM versions that follow their orderings: versions
// the ordering holds equal (1.0+x and 1.0.x under RPM, an empty upstream and
// "0" under Debian) hash alike. Stable across processes.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorlen {

uint64_t hash_debian(uint64_t epoch, std::string_view upstream, std::string_view revision);
uint64_t hash_rpm(uint64_t epoch, std::string_view version, std::string_view release);

}  // namespace quorlen
