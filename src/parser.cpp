#include "parser.hpp"

#include <limits>

#include "core/unicode.hpp"

namespace quorlen {

namespace {

struct TagEntry {
    std::string_view tag;
    int32_t weight;
};

constexpr std::array<TagEntry, 22> TAG_WEIGHTS = {{
    {"~", -10}, {"dev", -5}, {"a", 0}, {"alpha", 0}, {"b", 10}, {"beta", 10},
    {"m", 15}, {"milestone", 15}, {"c", 20}, {"rc", 20}, {"cr", 20}, {"pre", 20},
    {"preview", 20}, {"snapshot", 25}, {"ga", 30}, {"final", 30}, {"release", 30},
    {"^", 32}, {"p", 35}, {"post", 35}, {"patch", 35}, {"sp", 35},
}};

constexpr std::array<bool, 256> TAG_FIRST_BYTES = [] {
    std::array<bool, 256> t{};
    for (const TagEntry& e : TAG_WEIGHTS) t[static_cast<unsigned char>(e.tag[0])] = true;
    return t;
}();

constexpr uint64_t U64_MAX = std::numeric_limits<uint64_t>::max();

bool contains(std::string_view s, std::string_view needle) noexcept { return s.find(needle) != std::string_view::npos; }

bool ends_with(std::string_view s, std::string_view suffix) noexcept {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// Detection step 10: the first occurrence of the marker is directly followed by a digit.
bool marker_then_digit(std::string_view s, std::string_view marker) noexcept {
    const std::size_t at = s.find(marker);
    if (at == std::string_view::npos) return false;
    const std::size_t next = at + marker.size();
    return next < s.size() && ascii::is_digit(s[next]);
}

// Detection step 11: digit, then a or b or rc, then digit.
bool digit_letter_digit(std::string_view s) noexcept {
    for (std::size_t i = 0; i + 2 < s.size(); ++i) {
        if (!ascii::is_digit(s[i])) continue;
        if ((s[i + 1] == 'a' || s[i + 1] == 'b') && ascii::is_digit(s[i + 2])) return true;
        if (i + 3 < s.size() && s[i + 1] == 'r' && s[i + 2] == 'c' && ascii::is_digit(s[i + 3])) return true;
    }
    return false;
}

// Detection step 12: the last "-r" is not at the start and only digits (one or more) follow it.
bool alpine_revision(std::string_view s) noexcept {
    const std::size_t at = s.rfind("-r");
    if (at == std::string_view::npos || at == 0) return false;
    const std::string_view tail = s.substr(at + 2);
    if (tail.empty()) return false;
    for (char c : tail)
        if (!ascii::is_digit(c)) return false;
    return true;
}

// Detection step 13 (only without '-' and '_'): a dotted piece that is rc or pre, or starts with beta or alpha.
bool ruby_prerelease_piece(std::string_view s) noexcept {
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = s.find('.', start);
        const std::string_view piece = s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (piece == "rc" || piece == "pre" || piece.substr(0, 4) == "beta" || piece.substr(0, 5) == "alpha") return true;
        if (dot == std::string_view::npos) return false;
        start = dot + 1;
    }
}

// Detection step 14: a leading year between 1990 and 2100, and a dot somewhere.
bool leading_year(std::string_view s) noexcept {
    std::size_t n = 0;
    uint64_t v = 0;
    while (n < s.size() && ascii::is_digit(s[n])) {
        v = v * 10 + static_cast<uint64_t>(s[n] - '0');
        if (v > 0xFFFFFFFFu) return false;
        ++n;
    }
    return n > 0 && v >= 1990 && v <= 2100 && contains(s, ".");
}

}  // namespace

// ---------------------------------------------------------------- ascii helpers

std::string ascii::lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = to_lower(c);
    return out;
}

bool ascii::iequals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (to_lower(a[i]) != to_lower(b[i])) return false;
    return true;
}

uint64_t saturating_digits_long(std::string_view digits) noexcept {
    uint64_t v = 0;
    for (char c : digits) {
        const auto d = static_cast<uint64_t>(c - '0');
        if (v > (U64_MAX - d) / 10) return U64_MAX;
        v = v * 10 + d;
    }
    return v;
}

std::optional<uint64_t> parse_u64(std::string_view digits) noexcept {
    if (digits.empty()) return std::nullopt;
    uint64_t v = 0;
    for (char c : digits) {
        if (!ascii::is_digit(c)) return std::nullopt;
        const auto d = static_cast<uint64_t>(c - '0');
        if (v > (U64_MAX - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

// ---------------------------------------------------------------- detection

Ecosystem autodetect_ecosystem(std::string_view text) {
    // Short texts are lowered on the stack; longer ones once into a string.
    char small[64];
    std::string big;
    std::string_view s;
    if (text.size() <= sizeof small) {
        for (std::size_t i = 0; i < text.size(); ++i) small[i] = ascii::to_lower(text[i]);
        s = std::string_view(small, text.size());
    } else {
        big = ascii::lower(text);
        s = big;
    }

    if (contains(s, "!")) return Ecosystem::Pep440;
    if (contains(s, "~")) return Ecosystem::Debian;
    if (contains(s, "^")) return Ecosystem::Rpm;
    if (contains(s, ".post") || contains(s, ".dev")) return Ecosystem::Pep440;
    if (s.size() >= 13 && ends_with(s, "+incompatible")) return Ecosystem::Go;
    if (s.size() >= 9 && ends_with(s, "-snapshot")) return Ecosystem::Maven;
    if (contains(s, "py") && contains(s, "_")) return Ecosystem::Conda;
    for (std::string_view m : {"_alpha", "_beta", "_p", "_rc", "_pre"})
        if (contains(s, m)) return Ecosystem::Alpine;
    if (contains(s, "+deb") || contains(s, "+ubuntu")) return Ecosystem::Debian;
    for (std::string_view m : {".el", ".fc", ".amzn"})
        if (marker_then_digit(s, m)) return Ecosystem::Rpm;
    if (digit_letter_digit(s)) return Ecosystem::Pep440;
    if (alpine_revision(s)) return Ecosystem::Alpine;
    if (!contains(s, "-") && !contains(s, "_") && ruby_prerelease_piece(s)) return Ecosystem::Ruby;
    if (leading_year(s)) return Ecosystem::Calver;
    return Ecosystem::Generic;
}

// ---------------------------------------------------------------- generic parse

std::optional<int32_t> tag_weight(std::string_view tag) noexcept {
    // Most words are no tag at all: rule them out by length and first letter
    // before comparing texts.
    if (tag.empty() || tag.size() > 9 || !TAG_FIRST_BYTES[static_cast<unsigned char>(tag[0])]) return std::nullopt;
    for (const TagEntry& e : TAG_WEIGHTS)
        if (e.tag.size() == tag.size() && e.tag == tag) return e.weight;
    return std::nullopt;
}

std::optional<int32_t> tag_weight_folded(std::string_view word) noexcept {
    char buf[9];  // the longest tag, "milestone"
    if (word.empty() || word.size() > sizeof buf) return std::nullopt;
    for (std::size_t i = 0; i < word.size(); ++i) buf[i] = ascii::to_lower(word[i]);
    return tag_weight(std::string_view(buf, word.size()));
}

GenericHead split_generic_head(std::string_view input) noexcept {
    GenericHead head;
    // A text that starts with a digit and ends in printable ASCII has nothing
    // to trim and no prefix, which is almost every text.
    const bool plain = !input.empty() && ascii::is_digit(input.front()) &&
                       static_cast<unsigned char>(input.back()) > 0x20 && static_cast<unsigned char>(input.back()) < 0x7F;
    std::string_view text = plain ? input : unicode::trim(input);

    if (!plain && text.size() >= 2 && (text[0] == 'v' || text[0] == 'V') && ascii::is_digit(text[1])) text.remove_prefix(1);

    // Only one epoch: leading digits directly followed by ':' or '!', and
    // only when they fit in 64 bits (else they stay in the text).
    std::size_t d = 0;
    while (d < text.size() && ascii::is_digit(text[d])) ++d;
    if (d > 0 && d < text.size() && (text[d] == ':' || text[d] == '!')) {
        if (auto epoch = parse_u64(text.substr(0, d))) {
            head.epoch = *epoch;
            text.remove_prefix(d + 1);
        }
    }
    head.rest = text;
    return head;
}

GenericParts split_generic(std::string_view input) noexcept {
    const GenericHead head = split_generic_head(input);
    GenericParts parts;
    parts.epoch = head.epoch;
    const std::size_t plus = head.rest.find('+');
    if (plus == std::string_view::npos) {
        parts.main = head.rest;
    } else {
        parts.main = head.rest.substr(0, plus);
        parts.build = head.rest.substr(plus + 1);
    }
    return parts;
}

namespace {

// Collects segments into a ParsedVersion and raises its flags.
struct SegmentCollector {
    ParsedVersion& pv;

    void number(uint64_t v) { pv.segments.push_back(Seg::num(v)); }
    void word(std::string_view letters) {
        Seg& seg = pv.segments.emplace_back();
        seg.is_text = true;
        seg.text.resize(letters.size());
        for (std::size_t k = 0; k < letters.size(); ++k) seg.text[k] = ascii::to_lower(letters[k]);
        if (auto w = tag_weight(seg.text)) {
            if (*w < RELEASE_WEIGHT) pv.is_prerelease = true;
            if (*w > RELEASE_WEIGHT) pv.is_postrelease = true;
        }
    }
    void tilde() {
        pv.segments.push_back(Seg::txt("~"));
        pv.is_prerelease = true;
    }
    void caret() {
        pv.segments.push_back(Seg::txt("^"));
        pv.is_postrelease = true;
    }
};

}  // namespace

ParsedVersion parse_generic(std::string_view input) {
    ParsedVersion pv;
    pv.raw.assign(input);
    const GenericParts parts = split_generic(input);
    pv.epoch = parts.epoch;
    pv.build.assign(parts.build);
    SegmentCollector sink{pv};
    scan_segments(parts.main, sink);
    return pv;
}

}  // namespace quorlen
