// Range grammar and evaluation.
#include "ranges.hpp"

#include <initializer_list>

#include "bump.hpp"
#include "core/unicode.hpp"
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

// Appends ">={lower}" and "<{lower with c bumped}"; false when the bumped
// component does not fit in 64 bits, so that no bound could hold it.
bool push_half_open(Branch& branch, Release lower, Release from, Component c) {
    std::string upper;
    if (!append_bumped(upper, from, c)) return false;
    branch.push_back(Comparator{bound_text(lower), CmpOp::Ge});
    branch.push_back(Comparator{std::move(upper), CmpOp::Lt});
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

Status expand_x_range(std::string_view term, Branch& branch) {
    const std::optional<NumPrefix> n = parse_num_prefix(term);
    if (!n) return fail(invalid_x_range_message(term));
    const Release l = leading(*n);
    const Component c = n->given == 1 ? Component::Major : Component::Minor;
    if (!push_half_open(branch, Release{l.major, l.minor, 0}, l, c)) return fail(x_range_without_upper_message(term));
    return success();
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
    if (!lo.empty()) branch.push_back(Comparator{std::string(lo), term.front() == '[' ? CmpOp::Ge : CmpOp::Gt});
    if (!hi.empty()) branch.push_back(Comparator{std::string(hi), term.back() == ']' ? CmpOp::Le : CmpOp::Lt});
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
        branch.push_back(Comparator{std::string(version), s.op});
        return success();
    }
    return fail(invalid_comparator_message(term));
}

// One trimmed, non-empty term to its comparators; the first matching form wins.
Status expand_term(std::string_view term, Branch& branch) {
    if (is_wildcard(term)) return success();
    if (is_interval(term)) return expand_interval(term, branch);
    if (term.front() == '^') return expand_caret(term.substr(1), branch);
    if (starts_with(term, "~>") || starts_with(term, "~=")) return expand_tilde(term.substr(2), branch);
    if (term.front() == '~') return expand_tilde(term.substr(1), branch);
    if (term.find(".x") != std::string_view::npos || term.find(".X") != std::string_view::npos ||
        term.find(".*") != std::string_view::npos)
        return expand_x_range(term, branch);
    return expand_plain(term, branch);
}

// `tokens` and `joined` are scratch space reused across pieces.
Status parse_piece(std::string_view piece, std::vector<std::string_view>& tokens, std::string& joined, Branch& branch) {
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
        Status s = expand_term(term, branch);
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
        if (!holds(c.op, *o)) return false;
    }
    return true;
}

// interval_for without copies: the deciding comparators of one branch.
struct BranchBounds {
    const Comparator* lower = nullptr;
    const Comparator* upper = nullptr;
    bool pinned = false;
};

BranchBounds bounds_of(const Branch& branch) noexcept {
    BranchBounds b;
    for (const Comparator& c : branch) {
        switch (c.op) {
            case CmpOp::Gt:
            case CmpOp::Ge: b.lower = &c; break;
            case CmpOp::Lt:
            case CmpOp::Le: b.upper = &c; break;
            case CmpOp::Eq: b.pinned = true; break;
            case CmpOp::Ne: break;
        }
    }
    return b;
}

struct Bound {
    const std::string* text = nullptr;  // absent when null
    bool inclusive = false;
};

Bound lower_of(const BranchBounds& b) noexcept {
    return b.lower ? Bound{&b.lower->version, b.lower->op == CmpOp::Ge} : Bound{};
}

Bound upper_of(const BranchBounds& b) noexcept {
    return b.upper ? Bound{&b.upper->version, b.upper->op == CmpOp::Le} : Bound{};
}

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
    Result<Bound> lower = tighter(eco, lower_of(ba), lower_of(bb), Ordering::Greater);
    if (!lower) return std::move(lower).failure();
    Result<Bound> upper = tighter(eco, upper_of(ba), upper_of(bb), Ordering::Less);
    if (!upper) return std::move(upper).failure();
    if (!lower->text || !upper->text) return true;
    Result<Ordering> o = cmp_versions(eco, *lower->text, *upper->text);
    if (!o) return std::move(o).failure();
    if (*o == Ordering::Equal) return lower->inclusive && upper->inclusive;
    return *o == Ordering::Less;
}

}  // namespace

// ---------------------------------------------------------------- grammar

Result<RangeSet> RangeSet::parse(std::string_view text) {
    RangeSet set;
    std::vector<std::string_view> tokens;
    std::string joined;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = text.find("||", start);
        const std::string_view piece = text.substr(start, bar == std::string_view::npos ? bar : bar - start);
        Status s = parse_piece(piece, tokens, joined, set.branches.emplace_back());
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
            case CmpOp::Ne: break;
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
