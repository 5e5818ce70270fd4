// Debian package versions: epoch, upstream version and revision, the last two
// ordered by the classic character-class comparison.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace quorlen::strategies::debian {

struct DebianVersion {
    uint64_t epoch = 0;
    std::string upstream;
    std::string revision;
};

struct EpochSplit {
    uint64_t epoch;
    std::string_view rest;
};

Result<DebianVersion> parse_debian(std::string_view input);
// Leading digits directly followed by ':' are an epoch; shared with RPM.
EpochSplit extract_epoch_colon(std::string_view text) noexcept;
Ordering verrevcmp(std::string_view a, std::string_view b) noexcept;

}  // namespace quorlen::strategies::debian
