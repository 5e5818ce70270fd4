// Range grammar and evaluation.
#include "ranges.hpp"

#include <algorithm>
#include <initializer_list>

#include "bump.hpp"
#include "core/unicode.hpp"
#include "ecosystems.hpp"
#include "range_algebra.hpp"
#include "strategies/registry.hpp"

namespace quorlen::ranges {

namespace {

constexpr std::string_view NO_UPPER_BOUND = "; upper bound exceeds 18446744073709551615";

// ---------------------------------------------------------------- messages

std::string concat(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (std::string_view p : parts) size += p.size();
    std::string out;
    out.reserve(size);
    for (std::string_view p : parts) out.append(p);
    return out;
}

std::string invalid_comparator_message(std::string_view term) {
    return concat({"invalid comparator: '", term, "'; expected operator (>=, <=, >, <, ==, !=) followed by version"});
}

std::string missing_version_message(std::string_view term) {
    return concat({"missing version in comparator '", term, "'"});
}

std::string invalid_caret_message(std::string_view rest) { return concat({"invalid caret range: '^", rest, "'"}); }

std::string invalid_tilde_message(std::string_view rest) { return concat({"invalid tilde range: '~", rest, "'"}); }

std::string invalid_x_range_message(std::string_view term) { return concat({"invalid x-range: '", term, "'"}); }

std::string invalid_interval_message(std::string_view term) { return concat({"invalid interval range: '", term, "'"}); }

// A shorthand whose upper bound would need a number past the 64-bit range.
// Wrapping to 0 would turn the range into an empty or inverted one silently.
std::string caret_without_upper_message(std::string_view rest) {
    return concat({"invalid caret range: '^", rest, "'", NO_UPPER_BOUND});
}

std::string tilde_without_upper_message(std::string_view rest) {
    return concat({"invalid tilde range: '~", rest, "'", NO_UPPER_BOUND});
}

std::string x_range_without_upper_message(std::string_view term) {
    return concat({"invalid x-range: '", term, "'", NO_UPPER_BOUND});
}

// ---------------------------------------------------------------- tokens

bool is_wildcard(std::string_view s) noexcept { return s.size() == 1 && (s[0] == '*' || s[0] == 'x' || s[0] == 'X'); }

bool starts_with(std::string_view s, std::string_view p) noexcept { return s.substr(0, p.size()) == p; }

void push_token(std::string_view token, std::vector<std::string_view>& out) {
    token = unicode::trim(token);
    if (!token.empty()) out.push_back(token);
}

// Splits one "||" piece at commas and white space outside brackets. A token
// is always one contiguous slice of the piece, so nothing is copied here.
void tokenize(std::string_view piece, std::vector<std::string_view>& out) {
    out.clear();
    std::size_t depth = 0;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < piece.size()) {
        const unicode::Decoded d = unicode::decode(piece, i);
        if (d.cp == U'[' || d.cp == U'(') {
            ++depth;
        } else if (d.cp == U']' || d.cp == U')') {
            if (depth > 0) --depth;
        } else if (depth == 0 && (d.cp == U',' || unicode::is_white_space(d.cp))) {
            push_token(piece.substr(start, i - start), out);
            start = i + d.len;
        }
        i += d.len;
    }
    push_token(piece.substr(start), out);
}

bool is_detached_operator(std::string_view t) noexcept {
    return t == ">" || t == "<" || t == ">=" || t == "<=" || t == "!=" || t == "==";
}

// ---------------------------------------------------------------- expansions

// The text "{major}.{minor}.{patch}".
std::string bound_text(Release r) {
    std::string out;
    append_release(out, r);
    return out;
}

Release leading(const NumPrefix& n) noexcept {
    auto at = [&](std::size_t i) { return i < n.numbers.size() ? n.numbers[i] : 0; };
    return {at(0), at(1), at(2)};
}

// Appends ">={lower}" and "<{from with c bumped}"; false when the bumped
// component does not fit in 64 bits, so that no bound could hold it.
bool push_half_open(Branch& branch, Release lower, Release from, Component c) {
    std::string upper;
    if (!append_bumped(upper, from, c)) return false;
    branch.push_back(Comparator{bound_text(lower), CmpOp::Ge, {}});
    branch.push_back(Comparator{std::move(upper), CmpOp::Lt, {}});
    return true;
}

Status expand_caret(std::string_view rest, Branch& branch) {
    const std::optional<NumPrefix> n = parse_num_prefix(rest);
    if (!n) return fail(invalid_caret_message(rest));
    const Release l = leading(*n);
    // The first non-zero component is the one a caret lets float.
    const Component c = l.major != 0 ? Component::Major : (l.minor != 0 ? Component::Minor : Component::Patch);
    if (!push_half_open(branch, l, l, c)) return fail(caret_without_upper_message(rest));
    return success();
}

Status expand_tilde(std::string_view rest, Branch& branch) {
    const std::optional<NumPrefix> n = parse_num_prefix(rest);
    if (!n) return fail(invalid_tilde_message(rest));
    const Release l = leading(*n);
    const Component c = n->numbers.size() < 2 ? Component::Major : Component::Minor;
    if (!push_half_open(branch, l, l, c)) return fail(tilde_without_upper_message(rest));
    return success();
}

// The bounds of the releases an x-range names, as texts.
struct Span {
    std::string lower, upper;
};

// `numbers` is the term without any operator, `term` is what messages quote.
Result<Span> x_range_span(std::string_view numbers, std::string_view term) {
    const std::optional<NumPrefix> n = parse_num_prefix(numbers);
    if (!n) return fail(invalid_x_range_message(term));
    const Release l = leading(*n);
    const Component c = n->given == 1 ? Component::Major : Component::Minor;
    Span span{bound_text(Release{l.major, l.minor, 0}), {}};
    if (!append_bumped(span.upper, l, c)) return fail(x_range_without_upper_message(term));
    return span;
}

void push_span(Branch& branch, Span&& span) {
    branch.push_back(Comparator{std::move(span.lower), CmpOp::Ge, {}});
    branch.push_back(Comparator{std::move(span.upper), CmpOp::Lt, {}});
}

Status expand_x_range(std::string_view term, Branch& branch) {
    Result<Span> span = x_range_span(term, term);
    if (!span) return std::move(span).failure();
    push_span(branch, std::move(span).value());
    return success();
}

// "==1.2.*" and "!=1.2.*": a prefix match, in or out of the x-range.
Status expand_prefix_match(std::string_view term, Branch& branch) {
    Result<Span> span = x_range_span(term.substr(2), term);
    if (!span) return std::move(span).failure();
    if (term[0] == '=') {
        push_span(branch, std::move(span).value());
    } else {
        Span s = std::move(span).value();
        branch.push_back(Comparator{std::move(s.lower), CmpOp::NotIn, std::move(s.upper)});
    }
    return success();
}

bool has_wildcard_component(std::string_view term) noexcept {
    return term.find(".x") != std::string_view::npos || term.find(".X") != std::string_view::npos ||
           term.find(".*") != std::string_view::npos;
}

// "~=" and "~>" as their own ecosystems define them: at least the version as
// written, and the same release except for the last component written, so
// "~=1.2" ends below 2.0.0 and "~=1.2.3.4" below 1.2.4. The leading numbers are
// read up to the first component that is not purely a number ("2.2.post3"
// stops after 2.2, "1.4.5a4" after 1.4.5).
Status expand_pessimistic(std::string_view rest, Branch& branch) {
    rest = unicode::trim(rest);
    if (rest.empty() || has_wildcard_component(rest)) return expand_tilde(rest, branch);
    InlineVec<uint64_t, 4> numbers;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t dot = rest.find('.', pos);
        const std::string_view comp = rest.substr(pos, dot == std::string_view::npos ? dot : dot - pos);
        std::size_t run = 0;
        while (run < comp.size() && ascii::is_digit(comp[run])) ++run;
        if (run == 0 && !numbers.empty() && !comp.empty()) break;  // a suffix such as ".post3"
        const std::optional<uint64_t> n = parse_u64(comp.substr(0, run));
        if (!n) return fail(invalid_tilde_message(rest));
        numbers.push_back(*n);
        if (run < comp.size() || dot == std::string_view::npos) break;
        pos = dot + 1;
    }
    // "~>1" has no component before its last; it floats like "~1".
    const std::size_t kept = numbers.size() == 1 ? 1 : numbers.size() - 1;
    // Padded to three numbers like every shorthand bound, so that orderings
    // which require three parse it.
    std::string upper;
    for (std::size_t i = 0; i < std::max<std::size_t>(kept, 3); ++i) {
        if (i) upper.push_back('.');
        if (i + 1 == kept) {
            if (!append_successor(upper, numbers[i])) return fail(tilde_without_upper_message(rest));
        } else {
            append_decimal(upper, i < kept ? numbers[i] : 0);
        }
    }
    branch.push_back(Comparator{std::string(rest), CmpOp::Ge, {}});
    branch.push_back(Comparator{std::move(upper), CmpOp::Lt, {}});
    return success();
}

// "~>" in Elixir's requirements: ">= the version, < the next minor" when
// three numbers are written, else "< the next major", each upper bound below
// every prerelease of it. The version is padded to three numbers.
Status expand_elixir_pessimistic(std::string_view rest, Branch& branch) {
    rest = unicode::trim(rest);
    if (rest.empty() || has_wildcard_component(rest)) return expand_tilde(rest, branch);
    const std::optional<NumPrefix> n = parse_num_prefix(rest);
    if (!n) return fail(invalid_tilde_message(rest));
    const Release l = leading(*n);
    std::string upper;
    if (!append_bumped(upper, l, n->numbers.size() < 3 ? Component::Major : Component::Minor))
        return fail(tilde_without_upper_message(rest));
    upper.append("-0");
    branch.push_back(Comparator{n->numbers.size() < 3 ? bound_text(l) : std::string(rest), CmpOp::Ge, {}});
    branch.push_back(Comparator{std::move(upper), CmpOp::Lt, {}});
    return success();
}

Status expand_two_character_tilde(std::string_view rest, Pessimistic reading, Branch& branch) {
    switch (reading) {
        case Pessimistic::Rule: return expand_pessimistic(rest, branch);
        case Pessimistic::Tilde: return expand_tilde(rest, branch);
        case Pessimistic::Elixir: return expand_elixir_pessimistic(rest, branch);
    }
    internal_fault("pessimistic reading outside Pessimistic");
}

bool is_interval(std::string_view term) noexcept {
    return term.size() >= 2 && (term.front() == '(' || term.front() == '[') && (term.back() == ')' || term.back() == ']');
}

Status expand_interval(std::string_view term, Branch& branch) {
    const std::string_view inner = term.substr(1, term.size() - 2);
    const std::size_t comma = inner.find(',');
    if (comma == std::string_view::npos || inner.find(',', comma + 1) != std::string_view::npos)
        return fail(invalid_interval_message(term));
    const std::string_view lo = unicode::trim(inner.substr(0, comma));
    const std::string_view hi = unicode::trim(inner.substr(comma + 1));
    if (!lo.empty()) branch.push_back(Comparator{std::string(lo), term.front() == '[' ? CmpOp::Ge : CmpOp::Gt, {}});
    if (!hi.empty()) branch.push_back(Comparator{std::string(hi), term.back() == ']' ? CmpOp::Le : CmpOp::Lt, {}});
    return success();
}

Status expand_plain(std::string_view term, Branch& branch) {
    struct Spelling {
        std::string_view text;
        CmpOp op;
    };
    // Two-character spellings first, so ">=" is not read as ">" and "=1".
    static constexpr Spelling SPELLINGS[] = {
        {">=", CmpOp::Ge}, {"<=", CmpOp::Le}, {"!=", CmpOp::Ne}, {"==", CmpOp::Eq}, {"<", CmpOp::Lt}, {">", CmpOp::Gt},
    };
    for (const Spelling& s : SPELLINGS) {
        if (!starts_with(term, s.text)) continue;
        const std::string_view version = unicode::trim(term.substr(s.text.size()));
        if (version.empty()) return fail(missing_version_message(term));
        branch.push_back(Comparator{std::string(version), s.op, {}});
        return success();
    }
    return fail(invalid_comparator_message(term));
}

// One trimmed, non-empty term to its comparators; the first matching form wins.
Status expand_term(std::string_view term, Pessimistic reading, Branch& branch) {
    if (is_wildcard(term)) return success();
    if (is_interval(term)) return expand_interval(term, branch);
    if (term.front() == '^') return expand_caret(term.substr(1), branch);
    if (starts_with(term, "~>") || starts_with(term, "~=")) return expand_two_character_tilde(term.substr(2), reading, branch);
    if (term.front() == '~') return expand_tilde(term.substr(1), branch);
    if (has_wildcard_component(term)) {
        if (starts_with(term, "==") || starts_with(term, "!=")) return expand_prefix_match(term, branch);
        return expand_x_range(term, branch);
    }
    return expand_plain(term, branch);
}

// `tokens` and `joined` are scratch space reused across pieces.
Status parse_piece(std::string_view piece, Pessimistic reading, std::vector<std::string_view>& tokens,
                   std::string& joined, Branch& branch) {
    tokenize(piece, tokens);
    // One comparator per token is the common case; a shorthand adds one more.
    branch.reserve(tokens.size() + 1);
    for (std::size_t i = 0; i < tokens.size();) {
        std::string_view term = tokens[i];
        if (is_detached_operator(term) && i + 1 < tokens.size()) {
            joined.assign(term);
            joined.append(tokens[i + 1]);
            term = joined;
            i += 2;
        } else {
            i += 1;
        }
        Status s = expand_term(term, reading, branch);
        if (!s) return s;
    }
    return success();
}

// ---------------------------------------------------------------- evaluation

bool holds(CmpOp op, Ordering o) noexcept {
    switch (op) {
        case CmpOp::Gt: return o == Ordering::Greater;
        case CmpOp::Ge: return o != Ordering::Less;
        case CmpOp::Lt: return o == Ordering::Less;
        case CmpOp::Le: return o != Ordering::Greater;
        case CmpOp::Eq: return o == Ordering::Equal;
        case CmpOp::Ne: return o != Ordering::Equal;
        case CmpOp::NotIn: break;  // two orderings; see branch_holds
    }
    internal_fault("comparator with an operator outside CmpOp");
}

// The version under test in one evaluation. It is parsed the first time a
// comparator needs it and kept for the rest of that evaluation: parsing is a
// pure function, so the answers and the first error are those of parsing it
// afresh for every comparator, without the repeated work.
class Candidate {
public:
    Candidate(Ecosystem eco, std::string_view text) noexcept : eco_(eco), text_(text) {}

    // The candidate ordered against `version`; the candidate is parsed first.
    Result<Ordering> against(std::string_view version) {
        // A short candidate is cheaper to read again from its slices than to
        // hold as a full parse; the bound keeps the work linear in the input.
        if (text_.size() <= SHORT_CANDIDATE) return compare_texts_for_ecosystem(eco_, text_, version);
        if (!parsed_) {
            Result<ParsedRepr> mine = parse_for_ecosystem(eco_, text_);
            if (!mine) return std::move(mine).failure();
            parsed_.emplace(std::move(mine).value());
        }
        Result<ParsedRepr> theirs = parse_for_ecosystem(eco_, version);
        if (!theirs) return std::move(theirs).failure();
        return compare_for_ecosystem(eco_, *parsed_, *theirs);
    }

private:
    static constexpr std::size_t SHORT_CANDIDATE = 64;  // bytes
    Ecosystem eco_;
    std::string_view text_;
    std::optional<ParsedRepr> parsed_;
};

// Stops at the first comparator that fails; an empty branch parses nothing.
Result<bool> branch_holds(const Branch& branch, Candidate& candidate) {
    for (const Comparator& c : branch) {
        Result<Ordering> o = candidate.against(c.version);
        if (!o) return std::move(o).failure();
        if (c.op == CmpOp::NotIn) {
            if (*o == Ordering::Less) continue;
            Result<Ordering> end = candidate.against(c.until);
            if (!end) return std::move(end).failure();
            if (*end != Ordering::Less) continue;
            return false;
        }
        if (!holds(c.op, *o)) return false;
    }
    return true;
}

// What decides how a pair of branches is tested for overlap.
struct BranchBounds {
    bool pinned = false;
    bool excludes = false;  // holds a "!=" of either form
};

BranchBounds bounds_of(const Branch& branch) noexcept {
    BranchBounds b;
    for (const Comparator& c : branch) {
        if (c.op == CmpOp::Eq) b.pinned = true;
        if (c.op == CmpOp::Ne || c.op == CmpOp::NotIn) b.excludes = true;
    }
    return b;
}

struct Bound {
    const std::string* text = nullptr;  // absent when null
    bool inclusive = false;
};

// The tighter of two bounds: `a` wins when it orders as `a_wins` against `b`;
// on a tie the text of `a` is kept, inclusive only if both were.
Result<Bound> tighter(Ecosystem eco, Bound a, Bound b, Ordering a_wins) {
    if (!a.text) return b;
    if (!b.text) return a;
    Result<Ordering> o = cmp_versions(eco, *a.text, *b.text);
    if (!o) return std::move(o).failure();
    if (*o == Ordering::Equal) return Bound{a.text, a.inclusive && b.inclusive};
    return *o == a_wins ? a : b;
}

// The tightest lower (or upper) bound of two branches taken together, each
// comparator in order, the left branch first. A bound that stands alone is
// never parsed.
Result<Bound> tightest(Ecosystem eco, const Branch& a, const Branch& b, bool lower) {
    Bound best;
    for (const Branch* branch : {&a, &b}) {
        for (const Comparator& c : *branch) {
            const bool is_lower = c.op == CmpOp::Gt || c.op == CmpOp::Ge;
            const bool is_upper = c.op == CmpOp::Lt || c.op == CmpOp::Le;
            if (lower ? !is_lower : !is_upper) continue;
            const Bound mine{&c.version, c.op == CmpOp::Ge || c.op == CmpOp::Le};
            Result<Bound> t = tighter(eco, best, mine, lower ? Ordering::Greater : Ordering::Less);
            if (!t) return t;
            best = *t;
        }
    }
    return best;
}

// Whether one of the pins of `own` lies in `other` and then in `own` itself.
Result<bool> some_pin_in_both(Ecosystem eco, const Branch& own, const Branch& other) {
    for (const Comparator& c : own) {
        if (c.op != CmpOp::Eq) continue;
        Result<bool> in_other = version_in_branch(eco, other, c.version);
        if (!in_other) return in_other;
        if (!*in_other) continue;
        Result<bool> in_own = version_in_branch(eco, own, c.version);
        if (!in_own || *in_own) return in_own;
    }
    return false;
}

Result<bool> pair_overlaps(Ecosystem eco, const Branch& a, const BranchBounds& ba, const Branch& b, const BranchBounds& bb) {
    if (ba.pinned || bb.pinned) {
        // Pins decide alone; the bounds are not looked at.
        if (ba.pinned) {
            Result<bool> r = some_pin_in_both(eco, a, b);
            if (!r || *r) return r;
        }
        if (bb.pinned) return some_pin_in_both(eco, b, a);
        return false;
    }
    // An exclusion can empty a pair only together with the bounds; the
    // algebra weighs them all.
    if (ba.excludes || bb.excludes) return branches_meet(eco, a, b);
    Result<Bound> lower = tightest(eco, a, b, true);
    if (!lower) return std::move(lower).failure();
    Result<Bound> upper = tightest(eco, a, b, false);
    if (!upper) return std::move(upper).failure();
    if (!lower->text || !upper->text) return true;
    Result<Ordering> o = cmp_versions(eco, *lower->text, *upper->text);
    if (!o) return std::move(o).failure();
    if (*o == Ordering::Equal) return lower->inclusive && upper->inclusive;
    return *o == Ordering::Less;
}

}  // namespace

// ---------------------------------------------------------------- grammar

Pessimistic pessimistic_reading(Ecosystem eco) noexcept {
    if (row_of(eco).rules.family != strategies::validators::Family::Semver) return Pessimistic::Rule;
    return eco == Ecosystem::Hex ? Pessimistic::Elixir : Pessimistic::Tilde;
}

Result<RangeSet> RangeSet::parse(std::string_view text, Ecosystem eco) {
    const Pessimistic reading = pessimistic_reading(eco);
    RangeSet set;
    std::vector<std::string_view> tokens;
    std::string joined;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = text.find("||", start);
        const std::string_view piece = text.substr(start, bar == std::string_view::npos ? bar : bar - start);
        Status s = parse_piece(piece, reading, tokens, joined, set.branches.emplace_back());
        if (!s) return std::move(s).failure();
        if (bar == std::string_view::npos) break;
        start = bar + 2;
    }
    return set;
}

std::optional<NumPrefix> parse_num_prefix(std::string_view text) {
    text = unicode::trim(text);
    if (text.empty()) return std::nullopt;
    NumPrefix out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t dot = text.find('.', pos);
        const std::string_view comp = text.substr(pos, dot == std::string_view::npos ? dot : dot - pos);
        if (is_wildcard(comp)) {
            out.given = static_cast<uint8_t>(out.numbers.size());
            return out;
        }
        std::size_t run = 0;
        while (run < comp.size() && ascii::is_digit(comp[run])) ++run;
        const std::optional<uint64_t> n = parse_u64(comp.substr(0, run));  // absent when empty or too large
        if (!n) return std::nullopt;
        out.numbers.push_back(*n);
        // Three numbers are all a bound uses; whatever follows is ignored.
        if (dot == std::string_view::npos || out.numbers.size() == 3) return out;
        pos = dot + 1;
    }
}

// ---------------------------------------------------------------- evaluation

Result<Ordering> cmp_versions(Ecosystem eco, std::string_view left, std::string_view right) {
    return compare_texts_for_ecosystem(eco, left, right);
}

Result<bool> RangeSet::contains(Ecosystem eco, std::string_view version) const {
    Candidate candidate(eco, version);
    for (const Branch& branch : branches) {
        Result<bool> r = branch_holds(branch, candidate);
        if (!r || *r) return r;
    }
    return false;
}

Result<bool> version_in_branch(Ecosystem eco, const Branch& branch, std::string_view version) {
    Candidate candidate(eco, version);
    return branch_holds(branch, candidate);
}

Interval interval_for(const Branch& branch) {
    Interval iv;
    for (const Comparator& c : branch) {
        switch (c.op) {
            case CmpOp::Gt:
            case CmpOp::Ge:
                iv.lower = c.version;
                iv.lower_inclusive = c.op == CmpOp::Ge;
                break;
            case CmpOp::Lt:
            case CmpOp::Le:
                iv.upper = c.version;
                iv.upper_inclusive = c.op == CmpOp::Le;
                break;
            case CmpOp::Eq: iv.exact.push_back(c.version); break;
            case CmpOp::Ne:
            case CmpOp::NotIn: break;
        }
    }
    return iv;
}

Result<bool> RangeSet::intersects(Ecosystem eco, const RangeSet& other) const {
    if (branches.empty() || other.branches.empty()) return false;
    // Each branch's bounds once, not once per pair.
    std::vector<BranchBounds> mine;
    mine.reserve(branches.size());
    for (const Branch& b : branches) mine.push_back(bounds_of(b));
    std::vector<BranchBounds> theirs;
    theirs.reserve(other.branches.size());
    for (const Branch& b : other.branches) theirs.push_back(bounds_of(b));

    for (std::size_t i = 0; i < branches.size(); ++i) {
        for (std::size_t j = 0; j < other.branches.size(); ++j) {
            Result<bool> r = pair_overlaps(eco, branches[i], mine[i], other.branches[j], theirs[j]);
            if (!r || *r) return r;
        }
    }
    return false;
}

}  // namespace quorlen::ranges
