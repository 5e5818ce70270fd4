#include "security.hpp"

#include <array>

#include "ecosystems.hpp"

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

Result<Vers> Vers::parse(std::string_view input) {
    if (input.substr(0, 5) != "vers:") return fail(vers_error(input, VERS_NO_PREFIX));
    const std::string_view rest = input.substr(5);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return fail(vers_error(input, VERS_NO_SLASH));
    // The name is judged before the range, so a bad name is what gets
    // reported when both are wrong.
    Result<Ecosystem> eco = Ecosystem::from_str(rest.substr(0, slash));
    if (!eco) return std::move(eco).failure();
    Result<ranges::RangeSet> range = ranges::RangeSet::parse(rest.substr(slash + 1), *eco);
    if (!range) return std::move(range).failure();
    return Vers{std::move(range).value(), *eco};
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
