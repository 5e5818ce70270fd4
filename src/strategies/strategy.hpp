// What every ecosystem strategy is: a parse from text to a ParsedRepr, and a
// comparison of two values of its own variant. Strategies hold no data; each
// has one constant instance, and the registry indexes them by ecosystem.
#pragma once

#include <string_view>
#include <variant>

#include "core/result.hpp"
#include "parser.hpp"
#include "strategies/debian.hpp"
#include "strategies/maven.hpp"
#include "strategies/pep440.hpp"
#include "strategies/rpm.hpp"
#include "strategies/semver.hpp"

namespace quorlen {

using strategies::debian::DebianVersion;
using strategies::maven::MavenVersion;
using strategies::pep440::Pep440Version;
using strategies::rpm::RpmVersion;
using strategies::semver::SemverVersion;

// One ecosystem's parse of one text; the variant order is fixed.
using ParsedRepr = std::variant<ParsedVersion, SemverVersion, DebianVersion, RpmVersion, Pep440Version, MavenVersion>;

// The payload of the variant a strategy works on; any other is a bug.
template <class T>
const T& expect(const ParsedRepr& repr) noexcept {
    const T* p = std::get_if<T>(&repr);
    if (!p) internal_fault("strategy handed a value of another ecosystem family");
    return *p;
}

// A family's parse result as the variant every strategy returns.
template <class T>
Result<ParsedRepr> as_repr(Result<T>&& r) {
    if (!r) return std::move(r).failure();
    return ParsedRepr(std::move(r).value());
}

struct VersionStrategy {
    Result<ParsedRepr> (*parse)(std::string_view input);
    Ordering (*compare)(const ParsedRepr& a, const ParsedRepr& b) noexcept;
    // Parse a, parse b, compare: the same answer and the same first failure
    // as the two operations above, without keeping either parse.
    Result<Ordering> (*compare_texts)(std::string_view a, std::string_view b);

    template <class S>
    static constexpr VersionStrategy of() {
        if constexpr (requires { &S::compare_texts; })
            return VersionStrategy{&S::parse, &S::compare, &S::compare_texts};
        else
            return VersionStrategy{&S::parse, &S::compare, &parse_then_compare<S>};
    }

    template <class S>
    static Result<Ordering> parse_then_compare(std::string_view a, std::string_view b) {
        Result<ParsedRepr> left = S::parse(a);
        if (!left) return std::move(left).failure();
        Result<ParsedRepr> right = S::parse(b);
        if (!right) return std::move(right).failure();
        return S::compare(*left, *right);
    }
};

namespace strategies {

// Each strategy also orders two texts straight from their slices.
#define QUORLEN_STRATEGY(Type)                                                      \
    struct Type {                                                                   \
        static Result<ParsedRepr> parse(std::string_view input);                   \
        static Ordering compare(const ParsedRepr& a, const ParsedRepr& b) noexcept; \
        static Result<Ordering> compare_texts(std::string_view a, std::string_view b); \
    };

// Own formats.
QUORLEN_STRATEGY(GenericStrategy)
QUORLEN_STRATEGY(SemverStrategy)
QUORLEN_STRATEGY(Pep440Strategy)
QUORLEN_STRATEGY(DebianStrategy)
QUORLEN_STRATEGY(RpmStrategy)
QUORLEN_STRATEGY(MavenStrategy)
#undef QUORLEN_STRATEGY

}  // namespace strategies
}  // namespace quorlen
