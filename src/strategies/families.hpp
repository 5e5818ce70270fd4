// The strategies of ecosystems without a format of their own: a check in
// front of the generic parse, or in front of the strict SemVer parse. A
// passing check hands the input on untouched, since both parses trim by
// themselves.
#pragma once

#include <string_view>

#include "strategies/generic.hpp"
#include "strategies/semver.hpp"
#include "strategies/strategy.hpp"
#include "strategies/validators.hpp"

namespace quorlen::strategies {

template <validators::Check C>
struct GenericAfter {
    static Result<ParsedRepr> parse(std::string_view input) {
        if (Status s = C(input); !s) return std::move(s).failure();
        return ParsedRepr(parse_generic(input));
    }
    static Ordering compare(const ParsedRepr& a, const ParsedRepr& b) noexcept { return GenericStrategy::compare(a, b); }
    // The failures come in the order of parse(a), parse(b); the generic parse
    // never fails, so both checks come first.
    static Result<Ordering> compare_texts(std::string_view a, std::string_view b) {
        if (Status s = C(a); !s) return std::move(s).failure();
        if (Status s = C(b); !s) return std::move(s).failure();
        return generic::compare_generic_texts(a, b);
    }
};

template <validators::Check C>
struct SemverAfter {
    static Result<ParsedRepr> parse(std::string_view input) {
        if (Status s = C(input); !s) return std::move(s).failure();
        return SemverStrategy::parse(input);
    }
    static Ordering compare(const ParsedRepr& a, const ParsedRepr& b) noexcept { return SemverStrategy::compare(a, b); }
    static Result<Ordering> compare_texts(std::string_view a, std::string_view b) {
        if (Status s = C(a); !s) return std::move(s).failure();
        auto left = semver::parse_semver_view(a);
        if (!left) return std::move(left).failure();
        if (Status s = C(b); !s) return std::move(s).failure();
        auto right = semver::parse_semver_view(b);
        if (!right) return std::move(right).failure();
        return semver::cmp_semver_view(*left, *right);
    }
};

}  // namespace quorlen::strategies
