#include "sort_keys.hpp"

#include <span>

#include "core/stable_sort.hpp"
#include "strategies/pep440.hpp"
#include "strategies/registry.hpp"
#include "strategies/rpm.hpp"
#include "strategies/validators.hpp"

namespace quorlen {

namespace {

using strategies::generic::SegView;

constexpr uint64_t HALF = uint64_t{1} << 32;

// The first two segments as one number when both are numbers below 2^32 (a
// missing second one counts as 0). Lists compare position by position and a
// number against the end of a list orders as against 0, so two items with
// such keys order as their keys wherever the keys differ. An epoch would
// come first, so only items without one qualify.
struct QuickKey {
    uint64_t key = 0;
    bool valid = false;
};

QuickKey leading_numbers(uint64_t epoch, std::span<const SegView> raw) noexcept {
    if (epoch != 0 || raw.empty() || raw[0].is_text || raw[0].number >= HALF) return {};
    uint64_t second = 0;
    if (raw.size() > 1) {
        if (raw[1].is_text || raw[1].number >= HALF) return {};
        second = raw[1].number;
    }
    return {raw[0].number << 32 | second, true};
}

// The handle the merge sort moves: small, so that each pass streams.
struct Handle {
    uint64_t key;
    uint32_t index;
    bool quick;
};

}  // namespace

SortKeys::SortKeys(Ecosystem eco, std::size_t expected) : eco_(eco), mode_(Mode::Parsed) {
    const auto family = strategies::validators::family_of(eco);
    check_ = family.check;
    if (family.family == strategies::validators::Family::Generic)
        mode_ = Mode::Generic;
    else if (family.family == strategies::validators::Family::Semver)
        mode_ = Mode::Semver;
    else if (eco == Ecosystem::Pep440)
        mode_ = Mode::Pep440;
    else if (eco == Ecosystem::Debian)
        mode_ = Mode::Debian;
    else if (eco == Ecosystem::Rpm)
        mode_ = Mode::Rpm;
    quick_.reserve(expected);
    switch (mode_) {
        case Mode::Generic:
        case Mode::Pep440:
            generic_.reserve(expected);
            segs_.reserve(4 * expected);  // typical versions have three or four segments
            break;
        case Mode::Semver: semver_.reserve(expected); break;
        case Mode::Debian:
        case Mode::Rpm: package_.reserve(expected); break;
        case Mode::Parsed: parsed_.reserve(expected); break;
    }
}

Status SortKeys::add_generic(std::string_view text, std::string_view local, bool has_local) {
    const GenericHead head = split_generic_head(text);
    const std::size_t first = segs_.size();
    strategies::generic::append_main_views(head.rest, segs_);
    const std::span<const SegView> raw(segs_.data() + first, segs_.size() - first);
    const QuickKey q = leading_numbers(head.epoch, raw);
    quick_.push_back(Quick{q.key, q.valid});
    // Trailing zeros and release words decide nothing: they are dropped here
    // instead of skipped in every comparison.
    const std::size_t count = strategies::generic::significant_views(raw);
    segs_.resize(first + count);
    GenericEntry e{head.epoch, first, count, 0, 0, has_local};
    if (has_local) {
        e.local_first = segs_.size();
        strategies::generic::append_local_views(local, segs_);
        e.local_count = segs_.size() - e.local_first;
    }
    generic_.push_back(e);
    return success();
}

Status SortKeys::add(std::string_view text) {
    if (check_) {
        Status s = check_(text);
        if (!s) return s;
    }
    switch (mode_) {
        case Mode::Generic: return add_generic(text, {}, false);
        case Mode::Pep440: {
            auto rest = strategies::pep440::screen(text);
            if (!rest) return std::move(rest).failure();
            const auto local = strategies::pep440::local_text(*rest);
            return add_generic(text, local.value_or(std::string_view{}), local.has_value());
        }
        case Mode::Semver: {
            auto v = strategies::semver::parse_semver_view(text);
            if (!v) return std::move(v).failure();
            const bool q = v->major < HALF && v->minor < HALF;
            quick_.push_back(Quick{q ? (v->major << 32 | v->minor) : 0, q});
            semver_.push_back(*v);
            return success();
        }
        case Mode::Debian:
        case Mode::Rpm: {
            auto v = mode_ == Mode::Debian ? strategies::debian::parse_debian_view(text)
                                           : strategies::rpm::parse_rpm_view(text);
            if (!v) return std::move(v).failure();
            quick_.push_back(Quick{0, false});
            package_.push_back(*v);
            return success();
        }
        case Mode::Parsed: {
            Result<ParsedRepr> r = parse_for_ecosystem(eco_, text);
            if (!r) return std::move(r).failure();
            quick_.push_back(Quick{0, false});
            parsed_.push_back(std::move(r).value());
            return success();
        }
    }
    internal_fault("sort keys in an unknown mode");
}

Ordering SortKeys::compare_generic(const GenericEntry& a, const GenericEntry& b) const noexcept {
    using strategies::generic::cmp_segment_views;
    if (a.epoch != b.epoch) return order_of(a.epoch, b.epoch);
    const Ordering o = cmp_segment_views({segs_.data() + a.first, a.count}, {segs_.data() + b.first, b.count});
    if (o != Ordering::Equal || mode_ != Mode::Pep440) return o;
    // A local label makes a version greater than the same public version.
    if (!a.has_local || !b.has_local) return order_of(a.has_local, b.has_local);
    return cmp_segment_views({segs_.data() + a.local_first, a.local_count},
                             {segs_.data() + b.local_first, b.local_count});
}

Ordering SortKeys::compare(std::size_t i, std::size_t j) const noexcept {
    switch (mode_) {
        case Mode::Generic:
        case Mode::Pep440: return compare_generic(generic_[i], generic_[j]);
        case Mode::Semver: return strategies::semver::cmp_semver_view(semver_[i], semver_[j]);
        case Mode::Debian: return strategies::debian::cmp_debian_view(package_[i], package_[j]);
        case Mode::Rpm: return strategies::rpm::cmp_rpm_view(package_[i], package_[j]);
        case Mode::Parsed: return compare_for_ecosystem(eco_, parsed_[i], parsed_[j]);
    }
    internal_fault("sort keys in an unknown mode");
}

std::vector<uint32_t> SortKeys::sorted_order() const {
    const std::size_t n = size();
    if (n > UINT32_MAX) internal_fault("more sort keys than 32-bit indices");
    std::vector<Handle> handles(n);
    std::vector<Handle> scratch(n);
    for (std::size_t i = 0; i < n; ++i) handles[i] = Handle{quick_[i].key, static_cast<uint32_t>(i), quick_[i].valid};
    // Every answer is compare()'s own, so the merges run exactly as over the
    // bare indices; the keys only answer some of them sooner.
    stable_merge_sort(std::span<Handle>(handles), std::span<Handle>(scratch), [this](const Handle& x, const Handle& y) {
        if (x.quick && y.quick && x.key != y.key) return x.key < y.key;
        return compare(x.index, y.index) == Ordering::Less;
    });
    std::vector<uint32_t> order(n);
    for (std::size_t k = 0; k < n; ++k) order[k] = handles[k].index;
    return order;
}

}  // namespace quorlen
