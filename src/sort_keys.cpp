#include "sort_keys.hpp"

#include <optional>
#include <span>

#include "core/stable_sort.hpp"
#include "ecosystems.hpp"
#include "strategies/pep440.hpp"
#include "strategies/registry.hpp"
#include "strategies/rpm.hpp"

namespace quorlen {

namespace {

using strategies::generic::SegView;
using QuickKey = SortKeys::QuickKey;

// The leading segments of an item packed into one 64-bit key, 12 bits a
// position, the first in the highest bits. Lists compare position by
// position, so two items whose keys differ on the positions both cover order
// as their keys there. A position holds one of:
//   a number n below 2^11, as 2^11 + n: above every word, as numbers rank;
//   a word of known weight w below 30, as w + 16: words rank by weight;
//   an unknown word, as 29 + 16, its weight, which covers the position but
//     none after it: two unknown words order by their letters;
//   past the end of the significant list, 2^11, as the number 0: the end
//     orders against a number as 0 does, and above every word of weight
//     below 30, as 2^11 does.
// Anything else (a larger number, a word of weight 30 or more, which ranks
// above the end) ends the covered positions before it. An epoch comes first,
// so only items without one cover any.
constexpr unsigned POSITION_BITS = 12;
constexpr std::size_t KEY_POSITIONS = 5;
constexpr uint64_t NUMBER_BASE = uint64_t{1} << 11;
constexpr int32_t WEIGHT_BIAS = 16;  // the lowest weight is -10

void put_position(QuickKey& q, std::size_t p, uint64_t value) noexcept {
    q.key |= value << (POSITION_BITS * (KEY_POSITIONS - 1 - p));
    q.positions = static_cast<uint8_t>(p + 1);
}

QuickKey leading_segments(uint64_t epoch, std::span<const SegView> significant, uint32_t index) noexcept {
    QuickKey q{0, index, 0};
    if (epoch != 0) return q;
    for (std::size_t p = 0; p < KEY_POSITIONS; ++p) {
        if (p >= significant.size()) {
            put_position(q, p, NUMBER_BASE);
            continue;
        }
        const SegView& s = significant[p];
        if (!s.is_text) {
            if (s.number >= NUMBER_BASE) break;
            put_position(q, p, NUMBER_BASE + s.number);
            continue;
        }
        const bool known = s.weight != strategies::generic::NO_WEIGHT;
        const int32_t w = known ? s.weight : UNKNOWN_TAG_WEIGHT;
        if (w >= RELEASE_WEIGHT) break;
        put_position(q, p, static_cast<uint64_t>(w + WEIGHT_BIAS));
        if (!known) break;
    }
    return q;
}

// The upstream version of a Debian item, in the same 64-bit form. Debian
// compares a version as alternating runs: characters by their weight ('~'
// below the end, the end below letters, letters below the rest; the end of
// a string weighs as a digit does), then digits as a number, the end as 0.
// Starting at its first digit run, a position holds one of:
//   a digit run n below 2^12, as n; past the end, 0;
//   the characters between two digit runs, as the first one's weight plus
//     one; past the end, 1. When more than one character stands there, the
//     position covers the first of them but none after it.
// Anything else (a larger number) ends the covered positions before it. Only
// items without an epoch whose version starts with a digit cover any; the
// release is compared only where the versions are equal, which no key can
// tell, so it takes no part.
QuickKey debian_upstream(const strategies::debian::PackageView& v, uint32_t index) noexcept {
    QuickKey q{0, index, 0};
    const std::string_view s = v.version;
    if (v.epoch != 0 || s.empty() || !ascii::is_digit(s[0])) return q;
    const std::size_t n = s.size();
    std::size_t i = 0;
    for (std::size_t p = 0; p < KEY_POSITIONS; ++p) {
        if (p % 2 == 0) {  // a digit run, or the end
            uint64_t value = 0;
            while (i < n && ascii::is_digit(s[i])) {
                value = value * 10 + static_cast<uint64_t>(s[i] - '0');
                if (value >> POSITION_BITS != 0) return q;
                ++i;
            }
            put_position(q, p, value);
            continue;
        }
        if (i >= n) {
            put_position(q, p, 1);
            continue;
        }
        const auto c = static_cast<unsigned char>(s[i]);
        const int weight = c == '~' ? -1 : (ascii::is_alpha(static_cast<char>(c)) ? c : c + 256);
        put_position(q, p, static_cast<uint64_t>(weight + 1));
        if (++i < n && !ascii::is_digit(s[i])) break;
    }
    return q;
}

// The version of an RPM item, its epoch first, in the same 64-bit form. RPM
// passes over separators and compares what is left piece by piece: '~'
// below everything, the end next, then '^', then runs of letters (as text),
// then runs of digits (as numbers). The first position holds the epoch
// below 2^12; each after it one of:
//   '~' as 0; the end as 1, for every position past it; '^' as 2;
//   a run of letters, as 3 plus its first letter, which covers the position
//     but none after it;
//   a run of digits n below 2^11, as 2^11 + n.
// Anything else (a larger number or epoch) ends the covered positions before
// it. As for Debian, the release takes no part.
QuickKey rpm_version(const strategies::debian::PackageView& v, uint32_t index) noexcept {
    QuickKey q{0, index, 0};
    if (v.epoch >> POSITION_BITS != 0) return q;
    put_position(q, 0, v.epoch);
    const std::string_view s = v.version;
    const std::size_t n = s.size();
    std::size_t i = 0;
    for (std::size_t p = 1; p < KEY_POSITIONS; ++p) {
        while (i < n && !ascii::is_alnum(s[i]) && s[i] != '~' && s[i] != '^') ++i;
        if (i >= n) {
            put_position(q, p, 1);
            continue;
        }
        if (s[i] == '~' || s[i] == '^') {
            put_position(q, p, s[i] == '~' ? 0 : 2);
            ++i;
            continue;
        }
        if (ascii::is_alpha(s[i])) {
            put_position(q, p, 3 + static_cast<unsigned char>(s[i]));
            break;
        }
        uint64_t value = 0;
        while (i < n && ascii::is_digit(s[i])) {
            value = value * 10 + static_cast<uint64_t>(s[i] - '0');
            if (value >= NUMBER_BASE) return q;
            ++i;
        }
        put_position(q, p, NUMBER_BASE + value);
    }
    return q;
}

// Whether x orders below y on the key positions both cover, else unknown.
std::optional<bool> quick_less(const QuickKey& x, const QuickKey& y) noexcept {
    const unsigned common = x.positions < y.positions ? x.positions : y.positions;
    if (common == 0) return std::nullopt;
    const unsigned shift = POSITION_BITS * static_cast<unsigned>(KEY_POSITIONS - common);
    const uint64_t kx = x.key >> shift, ky = y.key >> shift;
    if (kx != ky) return kx < ky;
    return std::nullopt;
}

}  // namespace

SortKeys::SortKeys(Ecosystem eco, std::size_t expected, bool sorting) : eco_(eco), mode_(Mode::Parsed), sorting_(sorting) {
    const Rules& rules = row_of(eco).rules;
    check_ = rules.check;
    switch (rules.store) {
        case StoreKind::Generic: mode_ = Mode::Generic; break;
        case StoreKind::Semver: mode_ = Mode::Semver; break;
        case StoreKind::Pep440: mode_ = Mode::Pep440; break;
        case StoreKind::Debian: mode_ = Mode::Debian; break;
        case StoreKind::Rpm: mode_ = Mode::Rpm; break;
        case StoreKind::Maven: mode_ = Mode::Parsed; break;
    }
    // The texts are all such an ordering reads; no key covers a position.
    if (rules.text_order) {
        mode_ = Mode::Text;
        text_order_ = rules.text_order;
    }
    quick_.reserve(expected);
    switch (mode_) {
        case Mode::Generic:
        case Mode::Pep440:
        case Mode::Text: break;
        case Mode::Semver: semver_.reserve(expected); break;
        case Mode::Debian:
        case Mode::Rpm: package_.reserve(expected); break;
        case Mode::Parsed: parsed_.reserve(expected); break;
    }
}

uint32_t SortKeys::next_index() const {
    if (quick_.size() >= UINT32_MAX) internal_fault("more sort keys than 32-bit indices");
    return static_cast<uint32_t>(quick_.size());
}

void SortKeys::add_generic(std::string_view text) {
    const GenericHead head = split_generic_head(text);
    // The segments are read into a reused buffer only to build the key:
    // comparisons the key leaves open read both texts again in place.
    scan_.clear();
    strategies::generic::append_main_views(head.rest, scan_);
    const std::size_t count = strategies::generic::significant_views(scan_);
    quick_.push_back(leading_segments(head.epoch, std::span<const SegView>(scan_.data(), count), next_index()));
}

Status SortKeys::add(std::string_view text) {
    Status s = parse_next(text);
    if (s) texts_.push_back(text);
    return s;
}

Status SortKeys::add_all(std::vector<std::string_view>&& texts) {
    if (size() != 0) internal_fault("sort keys given all their texts after some");
    texts_ = std::move(texts);
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        // The texts were found a while ago: ask for one a few places ahead.
        if (i + 8 < texts_.size()) __builtin_prefetch(texts_[i + 8].data());
        Status s = parse_next(texts_[i]);
        if (!s) {
            texts_.resize(i);
            return s;
        }
    }
    return success();
}

Status SortKeys::parse_next(std::string_view text) {
    if (check_) {
        Status s = check_(text);
        if (!s) return s;
    }
    switch (mode_) {
        case Mode::Generic: add_generic(text); return success();
        case Mode::Pep440: {
            auto rest = strategies::pep440::screen(text);
            if (!rest) return std::move(rest).failure();
            add_generic(text);  // the local label orders after every position of the key
            return success();
        }
        case Mode::Semver: {
            auto v = strategies::semver::parse_semver_view(text);
            if (!v) return std::move(v).failure();
            // Major, minor and patch order first, then a release above
            // every prerelease: four positions of the first key.
            QuickKey q{0, next_index(), 0};
            const uint64_t numbers[3] = {v->major, v->minor, v->patch};
            for (std::size_t p = 0; p < 3 && numbers[p] >> POSITION_BITS == 0; ++p) put_position(q, p, numbers[p]);
            if (q.positions == 3) put_position(q, 3, v->prerelease ? 0 : 1);
            quick_.push_back(q);
            semver_.push_back(*v);
            return success();
        }
        case Mode::Debian:
        case Mode::Rpm: {
            auto v = mode_ == Mode::Debian ? strategies::debian::parse_debian_view(text)
                                           : strategies::rpm::parse_rpm_view(text);
            if (!v) return std::move(v).failure();
            const uint32_t index = next_index();
            if (!sorting_)
                quick_.push_back(QuickKey{0, index, 0});
            else
                quick_.push_back(mode_ == Mode::Debian ? debian_upstream(*v, index) : rpm_version(*v, index));
            package_.push_back(*v);
            return success();
        }
        // The texts are read again at each comparison, as compare_texts does.
        case Mode::Text: quick_.push_back(QuickKey{0, next_index(), 0}); return success();
        case Mode::Parsed: {
            Result<ParsedRepr> r = parse_for_ecosystem(eco_, text);
            if (!r) return std::move(r).failure();
            quick_.push_back(QuickKey{0, next_index(), 0});
            parsed_.push_back(std::move(r).value());
            return success();
        }
    }
    internal_fault("sort keys in an unknown mode");
}

Ordering SortKeys::compare(std::size_t i, std::size_t j) const noexcept {
    switch (mode_) {
        case Mode::Generic: return strategies::generic::compare_generic_texts(texts_[i], texts_[j]);
        case Mode::Pep440: {
            // Both texts passed the screen when they were added, so this cannot fail.
            Result<Ordering> o = strategies::pep440::compare_pep440_texts(texts_[i], texts_[j]);
            if (!o) internal_fault("a screened PEP 440 text failed the screen");
            return *o;
        }
        case Mode::Semver: return strategies::semver::cmp_semver_view(semver_[i], semver_[j]);
        case Mode::Debian: return strategies::debian::cmp_debian_view(package_[i], package_[j]);
        case Mode::Rpm: return strategies::rpm::cmp_rpm_view(package_[i], package_[j]);
        case Mode::Parsed: return compare_for_ecosystem(eco_, parsed_[i], parsed_[j]);
        case Mode::Text: return text_order_->compare(unicode::trim(texts_[i]), unicode::trim(texts_[j]));
    }
    internal_fault("sort keys in an unknown mode");
}

Ordering SortKeys::order(std::size_t i, std::size_t j) const noexcept {
    if (const std::optional<bool> quick = quick_less(quick_[i], quick_[j]))
        return *quick ? Ordering::Less : Ordering::Greater;
    return compare(i, j);
}

namespace {

template <class T>
void keep_only_in(std::vector<T>& v, std::size_t i) {
    if (v.empty()) return;
    if (i != 0) v[0] = std::move(v[i]);
    v.erase(v.begin() + 1, v.end());
}

// Whether a parse succeeded, keeping nothing of it but its failure.
template <class T>
Status accepted(Result<T>&& r) {
    if (!r) return std::move(r).failure();
    return success();
}

}  // namespace

void SortKeys::keep_only(std::size_t i) {
    if (i >= size()) internal_fault("keeping a sort key that is not there");
    keep_only_in(quick_, i);
    quick_[0].index = 0;
    keep_only_in(texts_, i);
    switch (mode_) {
        case Mode::Generic:
        case Mode::Pep440:
        case Mode::Text: break;
        case Mode::Semver: keep_only_in(semver_, i); break;
        case Mode::Debian:
        case Mode::Rpm: keep_only_in(package_, i); break;
        case Mode::Parsed: keep_only_in(parsed_, i); break;
    }
}

std::vector<uint32_t> SortKeys::sorted_order() {
    const std::size_t n = size();
    std::vector<QuickKey> scratch(n);
    // Every answer is compare()'s own, so the merges run exactly as over the
    // bare indices; the keys and the identity of texts only answer some of
    // them sooner (one text parses one way, and orders equal to itself).
    stable_merge_sort(std::span<QuickKey>(quick_), std::span<QuickKey>(scratch), [this](const QuickKey& x, const QuickKey& y) {
        if (const std::optional<bool> quick = quick_less(x, y)) return *quick;
        if (texts_[x.index].data() == texts_[y.index].data()) return false;
        return compare(x.index, y.index) == Ordering::Less;
    });
    std::vector<uint32_t> order(n);
    for (std::size_t k = 0; k < n; ++k) order[k] = quick_[k].index;
    return order;
}

Status check_text(Ecosystem eco, std::string_view text) {
    const Rules& rules = row_of(eco).rules;
    if (rules.check) {
        Status s = rules.check(text);
        if (!s) return s;
    }
    switch (rules.store) {
        case StoreKind::Generic: return success();
        case StoreKind::Pep440: return accepted(strategies::pep440::screen(text));
        case StoreKind::Semver: return accepted(strategies::semver::parse_semver_view(text));
        case StoreKind::Debian: return accepted(strategies::debian::parse_debian_view(text));
        case StoreKind::Rpm: return accepted(strategies::rpm::parse_rpm_view(text));
        case StoreKind::Maven: return accepted(parse_for_ecosystem(eco, text));
    }
    internal_fault("an ecosystem stored in an unknown way");
}

bool generic_prerelease(std::string_view text) noexcept {
    // The segments the generic parse reads, up to the first '+', without
    // their values: only words and '~' can raise the flag.
    const std::string_view s = split_generic_head(text).rest;
    for (std::size_t i = 0, n = s.size(); i < n;) {
        const char c = s[i];
        if (c == '+') break;
        if (c == '~') return true;
        if (!ascii::is_alpha(c)) {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < n && ascii::is_alpha(s[j])) ++j;
        const std::optional<int32_t> w = tag_weight_folded(s.substr(i, j - i));
        if (w && *w < RELEASE_WEIGHT) return true;
        i = j;
    }
    return false;
}

}  // namespace quorlen
