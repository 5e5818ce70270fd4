// Identifiers used by security advisories: package URLs ("pkg:" form) and
// VERS ranges ("vers:" form).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/result.hpp"
#include "parser.hpp"
#include "ranges.hpp"

namespace quorlen::security {

struct Purl {
    std::string type;
    std::optional<std::string> namespace_;
    std::string name;
    std::optional<std::string> version;
    std::optional<std::string> qualifiers;
    std::optional<std::string> subpath;

    static Result<Purl> parse(std::string_view input);
    std::string to_purl() const;
    std::optional<Ecosystem> ecosystem() const noexcept;
};

struct Vers {
    ranges::RangeSet range;
    Ecosystem ecosystem;

    static Result<Vers> parse(std::string_view input);
};

}  // namespace quorlen::security
