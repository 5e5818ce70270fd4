// RPM package versions: epoch, version and release, the last two ordered by
// RPM's segment comparison with its '~' and '^' rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace quorlen::strategies::rpm {

struct RpmVersion {
    uint64_t epoch = 0;
    std::string version;
    std::string release;
};

Result<RpmVersion> parse_rpm(std::string_view input);
Ordering rpmverscmp(std::string_view a, std::string_view b) noexcept;

}  // namespace quorlen::strategies::rpm
