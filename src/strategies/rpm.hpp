// RPM package versions: epoch, version and release, the last two ordered by
// RPM's segment comparison with its '~' and '^' rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/result.hpp"
#include "strategies/debian.hpp"

namespace quorlen::strategies::rpm {

struct RpmVersion {
    uint64_t epoch = 0;
    std::string version;
    std::string release;
};

Result<debian::PackageView> parse_rpm_view(std::string_view input);
Result<RpmVersion> parse_rpm(std::string_view input);
Ordering cmp_rpm_view(const debian::PackageView& a, const debian::PackageView& b) noexcept;
Ordering rpmverscmp(std::string_view a, std::string_view b) noexcept;

}  // namespace quorlen::strategies::rpm
