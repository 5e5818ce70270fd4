// Range algebra. A range is read once into a union of pieces, each piece an
// interval minus a few single versions; every operation works on that form
// and on the parsed versions, and only the answer is written out as text.
#include "range_algebra.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/unicode.hpp"
#include "strategies/registry.hpp"

namespace quorlen::ranges {

namespace {

constexpr uint32_t NONE = UINT32_MAX;

// The versions named by the ranges of one operation, each parsed once.
class Space {
public:
    explicit Space(Ecosystem eco) noexcept : eco_(eco) {}

    Result<uint32_t> add(std::string_view text) {
        Result<ParsedRepr> r = parse_for_ecosystem(eco_, text);
        if (!r) return std::move(r).failure();
        points_.push_back(Point{text, std::move(r).value()});
        return static_cast<uint32_t>(points_.size() - 1);
    }

    Ordering cmp(uint32_t a, uint32_t b) const noexcept {
        if (a == b) return Ordering::Equal;
        return compare_for_ecosystem(eco_, points_[a].parsed, points_[b].parsed);
    }

    std::string_view text(uint32_t i) const noexcept { return points_[i].text; }

private:
    struct Point {
        std::string_view text;  // borrowed from the caller's RangeSet
        ParsedRepr parsed;
    };
    Ecosystem eco_;
    std::vector<Point> points_;
};

// One side of an interval; `at` is NONE when that side is unbounded.
struct Edge {
    uint32_t at = NONE;
    bool inclusive = false;
    bool bounded() const noexcept { return at != NONE; }
};

struct Piece {
    Edge lo, hi;
    std::vector<uint32_t> excluded;  // sorted, distinct, strictly inside (lo, hi)
};

using Pieces = std::vector<Piece>;

// A comparator with its versions placed in the space.
struct Term {
    CmpOp op;
    uint32_t at;
    uint32_t until;  // NotIn only
};

// The ordering of two edges used as lower edges: unbounded first; at the same
// version an inclusive edge starts first.
Ordering cmp_lower(const Space& s, Edge a, Edge b) noexcept {
    if (!a.bounded() || !b.bounded()) return order_of(a.bounded(), b.bounded());
    const Ordering o = s.cmp(a.at, b.at);
    if (o != Ordering::Equal) return o;
    return order_of(!a.inclusive, !b.inclusive);
}

// The same for upper edges: unbounded last; an inclusive edge ends later.
Ordering cmp_upper(const Space& s, Edge a, Edge b) noexcept {
    if (!a.bounded() || !b.bounded()) return order_of(!a.bounded(), !b.bounded());
    const Ordering o = s.cmp(a.at, b.at);
    if (o != Ordering::Equal) return o;
    return order_of(a.inclusive, b.inclusive);
}

Edge max_lower(const Space& s, Edge a, Edge b) noexcept { return cmp_lower(s, a, b) == Ordering::Less ? b : a; }
Edge min_upper(const Space& s, Edge a, Edge b) noexcept { return cmp_upper(s, a, b) == Ordering::Greater ? b : a; }

bool admits_some(const Space& s, Edge lo, Edge hi) noexcept {
    if (!lo.bounded() || !hi.bounded()) return true;
    const Ordering o = s.cmp(lo.at, hi.at);
    return o == Ordering::Less || (o == Ordering::Equal && lo.inclusive && hi.inclusive);
}

bool above_lo(const Space& s, Edge lo, uint32_t x) noexcept {
    if (!lo.bounded()) return true;
    const Ordering o = s.cmp(x, lo.at);
    return o == Ordering::Greater || (o == Ordering::Equal && lo.inclusive);
}

bool below_hi(const Space& s, Edge hi, uint32_t x) noexcept {
    if (!hi.bounded()) return true;
    const Ordering o = s.cmp(x, hi.at);
    return o == Ordering::Less || (o == Ordering::Equal && hi.inclusive);
}

bool strictly_inside(const Space& s, const Piece& p, uint32_t x) noexcept {
    return (!p.lo.bounded() || s.cmp(x, p.lo.at) == Ordering::Greater) &&
           (!p.hi.bounded() || s.cmp(x, p.hi.at) == Ordering::Less);
}

bool is_excluded(const Space& s, const Piece& p, uint32_t x) noexcept {
    return std::binary_search(p.excluded.begin(), p.excluded.end(), x,
                              [&s](uint32_t a, uint32_t b) { return s.cmp(a, b) == Ordering::Less; });
}

bool piece_holds(const Space& s, const Piece& p, uint32_t x) noexcept {
    return above_lo(s, p.lo, x) && below_hi(s, p.hi, x) && !is_excluded(s, p, x);
}

void sort_distinct(const Space& s, std::vector<uint32_t>& v) {
    std::stable_sort(v.begin(), v.end(), [&s](uint32_t a, uint32_t b) { return s.cmp(a, b) == Ordering::Less; });
    v.erase(std::unique(v.begin(), v.end(), [&s](uint32_t a, uint32_t b) { return s.cmp(a, b) == Ordering::Equal; }),
            v.end());
}

// Takes single versions out of a piece: one at an inclusive edge makes that
// edge exclusive, one inside is listed. False when nothing is left.
bool exclude_points(const Space& s, Piece& p, const std::vector<uint32_t>& points) {
    for (uint32_t x : points) {
        if (p.lo.bounded() && p.lo.inclusive && s.cmp(x, p.lo.at) == Ordering::Equal) p.lo.inclusive = false;
        if (p.hi.bounded() && p.hi.inclusive && s.cmp(x, p.hi.at) == Ordering::Equal) p.hi.inclusive = false;
        if (strictly_inside(s, p, x)) p.excluded.push_back(x);
    }
    sort_distinct(s, p.excluded);
    return admits_some(s, p.lo, p.hi);
}

// ---------------------------------------------------------------- reading

// Results are written as comparators, so every bound must read back as the
// same plain version: no text the grammar would split or take for an
// operator, and none it would read as a wildcard (a component of "*", "x" or
// "X", or ".x", ".X" or ".*" anywhere). Such texts can only come from
// interval bounds.
bool is_writable(std::string_view text) {
    if (text.empty() || std::string_view("<>=!~^").find(text.front()) != std::string_view::npos) return false;
    for (std::string_view wildcard : {".x", ".X", ".*"})
        if (text.find(wildcard) != std::string_view::npos) return false;
    std::size_t component = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unicode::Decoded d = unicode::decode(text, i);
        if (d.cp == U',' || d.cp == U'|' || d.cp == U'(' || d.cp == U')' || d.cp == U'[' || d.cp == U']' ||
            unicode::is_white_space(d.cp))
            return false;
        if (d.cp == U'.') component = i + 1;
        i += d.len;
        const bool ends = i == text.size() || text[i] == '.';
        if (ends && i - component == 1 && (text[component] == '*' || text[component] == 'x' || text[component] == 'X'))
            return false;
    }
    return true;
}

Failure unwritable_bound(std::string_view text) {
    std::string message = "range bound cannot be written as a comparator: '";
    message.append(text);
    message.push_back('\'');
    return fail(std::move(message));
}


Result<std::vector<Term>> place_branch(Space& s, const Branch& branch) {
    std::vector<Term> terms;
    terms.reserve(branch.size());
    for (const Comparator& c : branch) {
        if (!is_writable(c.version)) return unwritable_bound(c.version);
        if (c.op == CmpOp::NotIn && !is_writable(c.until)) return unwritable_bound(c.until);
        Result<uint32_t> at = s.add(c.version);
        if (!at) return std::move(at).failure();
        uint32_t until = NONE;
        if (c.op == CmpOp::NotIn) {
            Result<uint32_t> u = s.add(c.until);
            if (!u) return std::move(u).failure();
            until = *u;
        }
        terms.push_back(Term{c.op, *at, until});
    }
    return terms;
}

// Removes [a, b) from the last piece, which lies at or after a.
void cut_span(const Space& s, Pieces& out, uint32_t a, uint32_t b) {
    Piece last = std::move(out.back());
    out.pop_back();
    const Edge left_hi = min_upper(s, last.hi, Edge{a, false});
    if (admits_some(s, last.lo, left_hi)) out.push_back(Piece{last.lo, left_hi, {}});
    const Edge right_lo = max_lower(s, last.lo, Edge{b, true});
    if (admits_some(s, right_lo, last.hi)) out.push_back(Piece{right_lo, last.hi, {}});
}

// The versions one branch admits, as sorted disjoint pieces.
Pieces branch_pieces(const Space& s, const std::vector<Term>& terms) {
    Edge lo, hi;
    uint32_t pin = NONE;
    std::vector<uint32_t> singles;
    std::vector<std::pair<uint32_t, uint32_t>> spans;
    for (const Term& t : terms) {
        switch (t.op) {
            case CmpOp::Gt:
            case CmpOp::Ge: lo = max_lower(s, lo, Edge{t.at, t.op == CmpOp::Ge}); break;
            case CmpOp::Lt:
            case CmpOp::Le: hi = min_upper(s, hi, Edge{t.at, t.op == CmpOp::Le}); break;
            case CmpOp::Eq:
                if (pin == NONE) pin = t.at;
                else if (s.cmp(pin, t.at) != Ordering::Equal) return {};  // two different pins
                break;
            case CmpOp::Ne: singles.push_back(t.at); break;
            case CmpOp::NotIn:
                if (s.cmp(t.at, t.until) == Ordering::Less) spans.emplace_back(t.at, t.until);
                break;
        }
    }
    if (pin != NONE) {
        if (!above_lo(s, lo, pin) || !below_hi(s, hi, pin)) return {};
        lo = hi = Edge{pin, true};
    }
    if (!admits_some(s, lo, hi)) return {};
    Pieces out;
    out.push_back(Piece{lo, hi, {}});
    std::stable_sort(spans.begin(), spans.end(),
                     [&s](const auto& x, const auto& y) { return s.cmp(x.first, y.first) == Ordering::Less; });
    for (const auto& [a, b] : spans) {
        if (out.empty()) break;
        cut_span(s, out, a, b);
    }
    if (singles.empty()) return out;
    sort_distinct(s, singles);
    Pieces kept;
    for (Piece& p : out)
        if (exclude_points(s, p, singles)) kept.push_back(std::move(p));
    return kept;
}

// ---------------------------------------------------------------- canonical form

// `into` and `next` overlap or touch, and `next` starts no earlier: `into`
// becomes their union. A version left out by one is left out of the union
// only when the other lacks it too; the meeting point of two exclusive edges
// becomes a single left-out version.
void merge_into(const Space& s, Piece& into, const Piece& next) {
    Piece hull;
    hull.lo = into.lo;
    if (into.lo.bounded() && next.lo.bounded() && s.cmp(into.lo.at, next.lo.at) == Ordering::Equal)
        hull.lo.inclusive = into.lo.inclusive || next.lo.inclusive;
    const Ordering o = cmp_upper(s, into.hi, next.hi);
    hull.hi = o == Ordering::Less ? next.hi : into.hi;
    if (o != Ordering::Less && into.hi.bounded() && next.hi.bounded() && s.cmp(into.hi.at, next.hi.at) == Ordering::Equal)
        hull.hi.inclusive = into.hi.inclusive || next.hi.inclusive;

    std::vector<uint32_t> candidates;
    for (uint32_t x : into.excluded) candidates.push_back(x);
    for (uint32_t x : next.excluded) candidates.push_back(x);
    if (into.hi.bounded()) candidates.push_back(into.hi.at);
    if (next.lo.bounded()) candidates.push_back(next.lo.at);
    for (uint32_t x : candidates)
        if (strictly_inside(s, hull, x) && !piece_holds(s, into, x) && !piece_holds(s, next, x)) hull.excluded.push_back(x);
    sort_distinct(s, hull.excluded);
    into = std::move(hull);
}

bool meets_or_touches(const Space& s, const Piece& left, const Piece& right) noexcept {
    return !left.hi.bounded() || !right.lo.bounded() || s.cmp(right.lo.at, left.hi.at) != Ordering::Greater;
}

// Sorted by lower edge, overlapping and touching pieces merged.
Pieces canonical(const Space& s, Pieces pieces) {
    std::stable_sort(pieces.begin(), pieces.end(),
                     [&s](const Piece& a, const Piece& b) { return cmp_lower(s, a.lo, b.lo) == Ordering::Less; });
    Pieces out;
    for (Piece& p : pieces) {
        if (!out.empty() && meets_or_touches(s, out.back(), p))
            merge_into(s, out.back(), p);
        else
            out.push_back(std::move(p));
    }
    return out;
}

Result<Pieces> read_range(Space& s, const RangeSet& r) {
    Pieces all;
    for (const Branch& b : r.branches) {
        Result<std::vector<Term>> terms = place_branch(s, b);
        if (!terms) return std::move(terms).failure();
        for (Piece& p : branch_pieces(s, *terms)) all.push_back(std::move(p));
    }
    return canonical(s, std::move(all));
}

// ---------------------------------------------------------------- operations

std::optional<Piece> meet(const Space& s, const Piece& a, const Piece& b) {
    Piece p{max_lower(s, a.lo, b.lo), min_upper(s, a.hi, b.hi), {}};
    if (!admits_some(s, p.lo, p.hi)) return std::nullopt;
    std::vector<uint32_t> out = a.excluded;
    out.insert(out.end(), b.excluded.begin(), b.excluded.end());
    if (!exclude_points(s, p, out)) return std::nullopt;
    return p;
}

// Both inputs canonical; so is the result.
Pieces intersect(const Space& s, const Pieces& a, const Pieces& b) {
    Pieces out;
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::optional<Piece> p = meet(s, a[i], b[j])) out.push_back(std::move(*p));
        const Ordering o = cmp_upper(s, a[i].hi, b[j].hi);
        if (o != Ordering::Greater) ++i;
        if (o != Ordering::Less) ++j;
    }
    return out;
}

Edge flipped(Edge e) noexcept { return Edge{e.at, !e.inclusive}; }

// Every version outside a canonical union: the gaps between its pieces and
// the single versions they leave out. Sorted and disjoint, but two gaps may
// still touch at a version both leave out; `canonical` merges those.
Pieces complement(const Space& s, const Pieces& u) {
    Pieces out;
    Edge from;  // unbounded below at first
    for (const Piece& p : u) {
        if (p.lo.bounded()) {
            const Edge to = flipped(p.lo);
            if (admits_some(s, from, to)) out.push_back(Piece{from, to, {}});
        }
        for (uint32_t x : p.excluded) out.push_back(Piece{Edge{x, true}, Edge{x, true}, {}});
        if (!p.hi.bounded()) return out;
        from = flipped(p.hi);
    }
    out.push_back(Piece{from, Edge{}, {}});
    return out;
}

void append_comparator(std::string& out, std::string_view op, std::string_view version) {
    if (!out.empty() && out.back() != ' ') out.push_back(',');
    out.append(op);
    out.append(version);
}

RangeText render(const Space& s, const Pieces& u) {
    if (u.empty()) return std::nullopt;
    std::string out;
    for (const Piece& p : u) {
        if (!out.empty()) out.append(" || ");
        const std::size_t start = out.size();
        if (p.lo.bounded() && p.hi.bounded() && s.cmp(p.lo.at, p.hi.at) == Ordering::Equal) {
            append_comparator(out, "==", s.text(p.lo.at));
            continue;
        }
        if (p.lo.bounded()) append_comparator(out, p.lo.inclusive ? ">=" : ">", s.text(p.lo.at));
        if (p.hi.bounded()) append_comparator(out, p.hi.inclusive ? "<=" : "<", s.text(p.hi.at));
        for (uint32_t x : p.excluded) append_comparator(out, "!=", s.text(x));
        if (out.size() == start) out.push_back('*');
    }
    return out;
}

// Reads both ranges, the left first, and hands their canonical forms to `op`.
template <class Op>
auto with_both(Ecosystem eco, const RangeSet& a, const RangeSet& b, Op op) -> Result<decltype(op(
    std::declval<const Space&>(), std::declval<const Pieces&>(), std::declval<const Pieces&>()))> {
    Space s(eco);
    Result<Pieces> pa = read_range(s, a);
    if (!pa) return std::move(pa).failure();
    Result<Pieces> pb = read_range(s, b);
    if (!pb) return std::move(pb).failure();
    return op(s, *pa, *pb);
}

}  // namespace

Result<RangeText> range_intersection(Ecosystem eco, const RangeSet& a, const RangeSet& b) {
    return with_both(eco, a, b, [](const Space& s, const Pieces& x, const Pieces& y) { return render(s, intersect(s, x, y)); });
}

Result<RangeText> range_union(Ecosystem eco, const RangeSet& a, const RangeSet& b) {
    return with_both(eco, a, b, [](const Space& s, const Pieces& x, const Pieces& y) {
        Pieces all = x;
        all.insert(all.end(), y.begin(), y.end());
        return render(s, canonical(s, std::move(all)));
    });
}

Result<bool> range_subset(Ecosystem eco, const RangeSet& a, const RangeSet& b) {
    return with_both(eco, a, b,
                     [](const Space& s, const Pieces& x, const Pieces& y) { return intersect(s, x, complement(s, y)).empty(); });
}

Result<RangeText> range_complement(Ecosystem eco, const RangeSet& r) {
    Space s(eco);
    Result<Pieces> p = read_range(s, r);
    if (!p) return std::move(p).failure();
    return render(s, canonical(s, complement(s, *p)));
}

Result<RangeText> range_difference(Ecosystem eco, const RangeSet& a, const RangeSet& b) {
    return with_both(eco, a, b, [](const Space& s, const Pieces& x, const Pieces& y) {
        return render(s, intersect(s, x, canonical(s, complement(s, y))));
    });
}

Result<RangeText> range_simplify(Ecosystem eco, const RangeSet& r) {
    Space s(eco);
    Result<Pieces> p = read_range(s, r);
    if (!p) return std::move(p).failure();
    return render(s, *p);
}

Result<std::optional<Branch>> range_constraint_list(Ecosystem eco, const RangeSet& r) {
    Space s(eco);
    Result<Pieces> read = read_range(s, r);
    if (!read) return std::move(read).failure();
    if (read->empty()) return std::optional<Branch>();
    Branch out;
    auto put = [&](CmpOp op, uint32_t at) { out.push_back(Comparator{std::string(s.text(at)), op, {}}); };
    for (const Piece& p : *read) {
        if (p.lo.bounded() && p.hi.bounded() && s.cmp(p.lo.at, p.hi.at) == Ordering::Equal) {
            put(CmpOp::Eq, p.lo.at);
            continue;
        }
        if (p.lo.bounded()) put(p.lo.inclusive ? CmpOp::Ge : CmpOp::Gt, p.lo.at);
        for (uint32_t x : p.excluded) put(CmpOp::Ne, x);
        if (p.hi.bounded()) put(p.hi.inclusive ? CmpOp::Le : CmpOp::Lt, p.hi.at);
    }
    return std::optional<Branch>(std::move(out));
}

Result<bool> branches_meet(Ecosystem eco, const Branch& a, const Branch& b) {
    Space s(eco);
    Result<std::vector<Term>> terms = place_branch(s, a);
    if (!terms) return std::move(terms).failure();
    Result<std::vector<Term>> more = place_branch(s, b);
    if (!more) return std::move(more).failure();
    // Both branches at once are one branch holding all their comparators.
    terms->insert(terms->end(), more->begin(), more->end());
    return !branch_pieces(s, *terms).empty();
}

}  // namespace quorlen::ranges
