#include "security.hpp"

#include <array>

#include "core/unicode.hpp"
#include "ecosystems.hpp"
#include "range_algebra.hpp"
#include "strategies/registry.hpp"

namespace quorlen::security {

namespace {

// ---------------------------------------------------------------- messages

std::string purl_error(std::string_view input, std::string_view what) {
    std::string msg = "invalid purl '";
    msg += input;
    msg += "'; ";
    msg += what;
    return msg;
}

std::string vers_error(std::string_view input, std::string_view what) {
    std::string msg = "invalid VERS '";
    msg += input;
    msg += "'; ";
    msg += what;
    return msg;
}

constexpr std::string_view PURL_NO_PREFIX = "expected 'pkg:' prefix";
constexpr std::string_view PURL_NO_SLASH = "expected package type and name";
constexpr std::string_view PURL_EMPTY_TYPE_OR_NAME = "package type and name are required";
constexpr std::string_view PURL_NO_NAME = "missing package name";
constexpr std::string_view VERS_NO_PREFIX = "expected 'vers:' prefix";
constexpr std::string_view VERS_NO_SLASH = "expected 'vers:<ecosystem>/<range>'";
constexpr std::string_view VERS_EMPTY = "is empty";
constexpr std::string_view VERS_HOLDS_NOTHING = "the published VERS form cannot write a range that holds no version";
constexpr std::string_view VERS_NOT_A_CONSTRAINT = "is not a comparator and a version";
constexpr std::string_view VERS_STAR_NOT_ALONE = "'*' must stand alone";
constexpr std::string_view VERS_UNSORTED = "is out of order: versions must be sorted";
constexpr std::string_view VERS_REPEATED = "repeats a version";
constexpr std::string_view VERS_LOWER_TWICE = "follows another lower bound";
constexpr std::string_view VERS_UPPER_TWICE = "follows another upper bound";
constexpr std::string_view VERS_UPPER_AFTER_PIN = "is an upper bound after a single version";

std::string vers_constraint_error(std::string_view input, std::string_view constraint, std::string_view what) {
    std::string msg = "constraint '";
    msg += constraint;
    msg += "' ";
    msg += what;
    return vers_error(input, msg);
}

std::string quoted_unwritable(std::string_view version) {
    std::string msg = "the published VERS form cannot write the version '";
    msg += version;
    msg += '\'';
    return msg;
}

// The ecosystem's own message about the version of a constraint.
std::string vers_version_error(std::string_view input, std::string_view constraint, std::string_view message) {
    std::string what = "has a version the ecosystem refuses: ";
    what += message;
    return vers_constraint_error(input, constraint, what);
}

// ---------------------------------------------------------------- purl types

// ---------------------------------------------------------------- purl parts

// Splits rest at the first `sep`: the part after it is returned (absent when
// there is no `sep`) and rest keeps the part before.
std::optional<std::string> cut_after_first(std::string_view& rest, char sep) {
    const std::size_t at = rest.find(sep);
    if (at == std::string_view::npos) return std::nullopt;
    std::string after(rest.substr(at + 1));
    rest = rest.substr(0, at);
    return after;
}

// Fills name and namespace from the path; false when no segment is left.
bool read_path(std::string_view path, Purl& out) {
    std::string joined;
    std::string_view last;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view seg = path.substr(start, slash - start);
        start = slash + 1;
        if (seg.empty()) continue;
        if (!last.empty()) {
            if (!joined.empty()) joined += '/';
            joined += last;
        }
        last = seg;
    }
    if (last.empty()) return false;
    out.name = std::string(last);
    if (!joined.empty()) out.namespace_ = std::move(joined);
    return true;
}

std::string join_bounds(const OsvInterval& span) {
    std::string text;
    auto add = [&text](std::string_view op, const std::string& v) {
        if (!text.empty()) text += ',';
        text += op;
        text += v;
    };
    if (span.introduced && *span.introduced != "0") add(">=", *span.introduced);
    if (span.fixed) add("<", *span.fixed);
    if (span.last_affected) add("<=", *span.last_affected);
    return text;
}

}  // namespace

// ---------------------------------------------------------------- Purl

Result<Purl> Purl::parse(std::string_view input) {
    if (input.substr(0, 4) != "pkg:") return fail(purl_error(input, PURL_NO_PREFIX));
    std::string_view rest = input.substr(4);
    Purl out;
    // The subpath is cut first, so a "?" inside it stays in it.
    out.subpath = cut_after_first(rest, '#');
    out.qualifiers = cut_after_first(rest, '?');

    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return fail(purl_error(input, PURL_NO_SLASH));
    if (slash == 0 || slash + 1 == rest.size()) return fail(purl_error(input, PURL_EMPTY_TYPE_OR_NAME));

    std::string_view path = rest.substr(slash + 1);
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos && at > slash) {
        out.version = std::string(rest.substr(at + 1));
        path = rest.substr(slash + 1, at - slash - 1);
    }
    if (!read_path(path, out)) return fail(purl_error(input, PURL_NO_NAME));
    out.type = ascii::lower(rest.substr(0, slash));
    return out;
}

std::string Purl::to_purl() const {
    std::string out = "pkg:";
    out += type;
    out += '/';
    if (namespace_) {
        out += *namespace_;
        out += '/';
    }
    out += name;
    if (version) {
        out += '@';
        out += *version;
    }
    if (qualifiers) {
        out += '?';
        out += *qualifiers;
    }
    if (subpath) {
        out += '#';
        out += *subpath;
    }
    return out;
}

std::optional<Ecosystem> ecosystem_for_purl_type(std::string_view type) noexcept {
    return quorlen::ecosystem_for_purl_type(type);
}

std::optional<Ecosystem> Purl::ecosystem() const noexcept { return ecosystem_for_purl_type(type); }

// ---------------------------------------------------------------- Vers

namespace {

using ranges::Branch;
using ranges::CmpOp;
using ranges::Comparator;

bool is_lower(CmpOp op) noexcept { return op == CmpOp::Gt || op == CmpOp::Ge; }
bool is_upper(CmpOp op) noexcept { return op == CmpOp::Lt || op == CmpOp::Le; }

// A scheme names an ecosystem, or else the package-URL type of one.
Result<Ecosystem> vers_scheme(std::string_view scheme) {
    Result<Ecosystem> eco = Ecosystem::from_str(scheme);
    if (eco) return eco;
    if (std::optional<Ecosystem> by_type = ecosystem_for_purl_type(ascii::lower(scheme))) return *by_type;
    return eco;
}

// A version text the published form can hold: none of its operator or
// separator characters, nothing to trim.
bool is_published_version(std::string_view text) noexcept {
    return !text.empty() && unicode::trim(text) == text && text.find_first_of("<>=!*|,^~ \t") == std::string_view::npos;
}

// One constraint of the published form: an operator, "=" when none is
// written, and a version holding no operator character or separator.
std::optional<Comparator> published_constraint(std::string_view text) {
    struct Spelling {
        std::string_view text;
        CmpOp op;
    };
    static constexpr Spelling SPELLINGS[] = {
        {">=", CmpOp::Ge}, {"<=", CmpOp::Le}, {"!=", CmpOp::Ne}, {"<", CmpOp::Lt}, {">", CmpOp::Gt}, {"=", CmpOp::Eq},
    };
    CmpOp op = CmpOp::Eq;
    for (const Spelling& sp : SPELLINGS) {
        if (text.substr(0, sp.text.size()) != sp.text) continue;
        op = sp.op;
        text = text.substr(sp.text.size());
        break;
    }
    text = unicode::trim(text);
    if (!is_published_version(text)) return std::nullopt;
    return Comparator{std::string(text), op, {}};
}

// What the published form requires of its list, checked pairwise: versions
// strictly ascending; leaving out the exclusions, a single version is
// followed by nothing but a single version or a lower bound; leaving out
// the single versions too, lower and upper bounds alternate.
Status check_order(Ecosystem eco, std::string_view input, const std::vector<std::string_view>& texts,
                   const Branch& list) {
    std::optional<CmpOp> before;       // the last comparator that is not "!="
    std::optional<CmpOp> last_bound;  // the last lower or upper bound
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Comparator& c = list[i];
        Result<ParsedRepr> parsed = parse_for_ecosystem(eco, c.version);
        if (!parsed) return fail(vers_version_error(input, texts[i], parsed.error()));
        if (i > 0) {
            Result<Ordering> o = ranges::cmp_versions(eco, list[i - 1].version, c.version);
            if (!o) return fail(vers_version_error(input, texts[i], o.error()));
            if (*o == Ordering::Equal) return fail(vers_constraint_error(input, texts[i], VERS_REPEATED));
            if (*o == Ordering::Greater) return fail(vers_constraint_error(input, texts[i], VERS_UNSORTED));
        }
        if (c.op == CmpOp::Ne) continue;
        if (before == CmpOp::Eq && is_upper(c.op)) return fail(vers_constraint_error(input, texts[i], VERS_UPPER_AFTER_PIN));
        before = c.op;
        if (c.op == CmpOp::Eq) continue;
        if (last_bound && is_lower(*last_bound) && is_lower(c.op))
            return fail(vers_constraint_error(input, texts[i], VERS_LOWER_TWICE));
        if (last_bound && is_upper(*last_bound) && is_upper(c.op))
            return fail(vers_constraint_error(input, texts[i], VERS_UPPER_TWICE));
        last_bound = c.op;
    }
    return success();
}

// The published containment rule as branches: a single version is in when it
// is listed with "=", out when listed with "!="; otherwise it is in when it
// lies below a leading upper bound, above a trailing lower bound, or between
// a lower bound and the upper bound right after it. A list of exclusions alone
// holds every version it does not name.
ranges::RangeSet published_branches(const Branch& list) {
    ranges::RangeSet set;
    Branch excluded, bounds;
    for (const Comparator& c : list) {
        if (c.op == CmpOp::Eq) set.branches.push_back({c});
        else if (c.op == CmpOp::Ne) excluded.push_back(c);
        else bounds.push_back(c);
    }
    auto add = [&](Branch b) {
        b.insert(b.end(), excluded.begin(), excluded.end());
        set.branches.push_back(std::move(b));
    };
    for (std::size_t i = 0; i < bounds.size(); ++i) {
        if (is_upper(bounds[i].op)) add({bounds[i]});  // only the first can be: bounds alternate
        else if (i + 1 == bounds.size()) add({bounds[i]});
        else add({bounds[i], bounds[++i]});
    }
    // Exclusions alone hold every other version, as "!=1.0" does in this
    // library's own grammar: the two readings of one text must agree.
    if (set.branches.empty()) set.branches.push_back(std::move(excluded));
    return set;
}

Result<ranges::RangeSet> parse_published(Ecosystem eco, std::string_view input, std::string_view range) {
    std::vector<std::string_view> texts;
    Branch list;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = range.find('|', start);
        const std::string_view text = unicode::trim(range.substr(start, bar == std::string_view::npos ? bar : bar - start));
        if (text.empty()) return fail(vers_constraint_error(input, text, VERS_EMPTY));
        if (text == "*") return fail(vers_error(input, VERS_STAR_NOT_ALONE));
        std::optional<Comparator> c = published_constraint(text);
        if (!c) return fail(vers_constraint_error(input, text, VERS_NOT_A_CONSTRAINT));
        texts.push_back(text);
        list.push_back(std::move(*c));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    Status order = check_order(eco, input, texts, list);
    if (!order) return std::move(order).failure();
    return published_branches(list);
}

// The published form joins constraints with single bars; this library's own
// grammar joins branches with "||".
bool has_single_bars(std::string_view range) noexcept {
    return range.find('|') != std::string_view::npos && range.find("||") == std::string_view::npos;
}

// A single version, bare or after one "=": the published form's pin, which
// this library's own grammar refuses.
bool is_published_pin(std::string_view range) noexcept {
    std::string_view t = unicode::trim(range);
    if (!t.empty() && t.front() == '=') t = t.substr(1);
    return !t.empty() && t.find_first_of("<>=!*|,^~()[] \t") == std::string_view::npos;
}

}  // namespace

Result<Vers> Vers::parse(std::string_view input) {
    if (input.substr(0, 5) != "vers:") return fail(vers_error(input, VERS_NO_PREFIX));
    const std::string_view rest = input.substr(5);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return fail(vers_error(input, VERS_NO_SLASH));
    // The name is judged before the range, so a bad name is what gets
    // reported when both are wrong.
    Result<Ecosystem> eco = vers_scheme(rest.substr(0, slash));
    if (!eco) return std::move(eco).failure();
    const std::string_view range_text = rest.substr(slash + 1);
    Result<ranges::RangeSet> range = has_single_bars(range_text) ? parse_published(*eco, input, range_text)
                                                                  : ranges::RangeSet::parse(range_text, *eco);
    if (!range && is_published_pin(range_text)) range = parse_published(*eco, input, range_text);
    if (!range) return std::move(range).failure();
    return Vers{std::move(range).value(), *eco};
}

std::string_view vers_scheme_of(Ecosystem eco) noexcept {
    std::string_view found;
    any_name(row_of(eco).purl_types, [&](std::string_view type) {
        Result<Ecosystem> named = Ecosystem::from_str(type);
        if (named && *named != eco) return false;  // the name of another ecosystem
        found = type;
        return true;
    });
    return found.empty() ? eco.as_str() : found;
}

Result<std::string> to_published_vers(Ecosystem eco, const ranges::RangeSet& range) {
    Result<std::optional<Branch>> list = ranges::range_constraint_list(eco, range);
    if (!list) return std::move(list).failure();
    if (!*list) return fail(std::string(VERS_HOLDS_NOTHING));
    for (const Comparator& c : **list)
        if (!is_published_version(c.version)) return fail(quoted_unwritable(c.version));
    std::string out = "vers:";
    out += vers_scheme_of(eco);
    out += '/';
    if ((*list)->empty()) out += '*';
    bool first = true;
    for (const Comparator& c : **list) {
        if (!first) out += '|';
        first = false;
        switch (c.op) {
            case CmpOp::Gt: out += '>'; break;
            case CmpOp::Ge: out += ">="; break;
            case CmpOp::Lt: out += '<'; break;
            case CmpOp::Le: out += "<="; break;
            case CmpOp::Ne: out += "!="; break;
            case CmpOp::Eq:
            case CmpOp::NotIn: break;
        }
        out += c.version;
    }
    return out;
}

// ---------------------------------------------------------------- OSV spans

Result<bool> OsvInterval::contains(Ecosystem eco, std::string_view version) const {
    const std::string bounds = join_bounds(*this);
    if (bounds.empty()) return introduced.has_value();  // only "0": every version
    Result<ranges::RangeSet> range = ranges::RangeSet::parse(bounds, eco);
    if (!range) return std::move(range).failure();
    return range->contains(eco, version);
}

void OsvSpans::event(std::optional<std::string_view> introduced, std::optional<std::string_view> fixed,
                     std::optional<std::string_view> last_affected) {
    if (spans_.empty()) spans_.emplace_back();
    if (introduced) {
        if (spans_.back().closed()) spans_.emplace_back();
        spans_.back().introduced = std::string(*introduced);
    }
    if (fixed) spans_.back().fixed = std::string(*fixed);
    if (last_affected) spans_.back().last_affected = std::string(*last_affected);
}

ranges::RangeSet osv_range_set(const std::vector<OsvInterval>& spans, const std::vector<std::string_view>& versions) {
    using ranges::CmpOp;
    ranges::RangeSet set;
    for (const OsvInterval& span : spans) {
        ranges::Branch& b = set.branches.emplace_back();
        if (span.introduced && *span.introduced != "0") b.push_back({*span.introduced, CmpOp::Ge, {}});
        if (span.fixed) b.push_back({*span.fixed, CmpOp::Lt, {}});
        if (span.last_affected) b.push_back({*span.last_affected, CmpOp::Le, {}});
    }
    for (std::string_view v : versions) set.branches.push_back({{std::string(v), CmpOp::Eq, {}}});
    return set;
}

std::vector<OsvInterval> OsvSpans::finish() && {
    if (!spans_.empty() && spans_.back().empty()) spans_.pop_back();
    return std::move(spans_);
}

}  // namespace quorlen::security
