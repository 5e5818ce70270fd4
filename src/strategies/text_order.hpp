// Ecosystems whose versions are stored as generic ones (for the fields a
// parsed version shows) but ordered by the ecosystem's own rules, read
// straight off the trimmed texts: the rules of their defining tools do not
// fit the generic segments (RubyGems orders words by their bytes, pacman
// counts separators, Perl reads decimals by groups of three digits, apk and
// portage read suffix words of their own).
#pragma once

#include <cstdint>
#include <string_view>

#include "core/unicode.hpp"
#include "strategies/generic.hpp"
#include "strategies/strategy.hpp"
#include "strategies/validators.hpp"

namespace quorlen::strategies {

struct TextOrder {
    // Both texts trimmed and accepted by the ecosystem's check.
    Ordering (*compare)(std::string_view a, std::string_view b) noexcept;
    // Texts that compare equal hash alike; orderings that build a canonical
    // key hash its bytes (see native::key_hash).
    uint64_t (*hash)(std::string_view text);
};

template <validators::Check C, const TextOrder& T>
struct TextOrderAfter {
    static Result<ParsedRepr> parse(std::string_view input) {
        if (Status s = C(input); !s) return std::move(s).failure();
        return ParsedRepr(parse_generic(input));
    }
    static Ordering compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {
        return T.compare(unicode::trim(expect<ParsedVersion>(a).raw), unicode::trim(expect<ParsedVersion>(b).raw));
    }
    static Result<Ordering> compare_texts(std::string_view a, std::string_view b) {
        if (Status s = C(a); !s) return std::move(s).failure();
        if (Status s = C(b); !s) return std::move(s).failure();
        return T.compare(unicode::trim(a), unicode::trim(b));
    }
};

}  // namespace quorlen::strategies
