#include "packed_version.hpp"

#include <cstring>
#include <limits>
#include <optional>

#include "ecosystems.hpp"
#include "package_hash.hpp"
#include "strategies/generic.hpp"
#include "strategies/pep440.hpp"
#include "strategies/text_order.hpp"

namespace quorlen::packed {

namespace {

// Copies text to dst and returns the end of the copy. An empty view may have
// no data pointer at all, which memcpy must not be handed.
char* append_bytes(char* dst, std::string_view text) {
    if (!text.empty()) std::memcpy(dst, text.data(), text.size());
    return dst + text.size();
}

using strategies::generic::detail::cmp_lists;
using strategies::generic::detail::significant;

bool same_generic(const ParsedVersion& a, const ParsedVersion& b) {
    return a.raw == b.raw && a.build == b.build && a.epoch == b.epoch && a.is_prerelease == b.is_prerelease &&
           a.is_postrelease == b.is_postrelease && same_segments(a.segments, b.segments);
}

Kind classify(const ParsedVersion& generic, const ParsedRepr& parsed) {
    if (const auto* g = std::get_if<ParsedVersion>(&parsed)) return same_generic(*g, generic) ? Kind::None : Kind::Boxed;
    if (const auto* p = std::get_if<Pep440Version>(&parsed)) return same_generic(p->version, generic) ? Kind::Pep440 : Kind::Boxed;
    if (std::holds_alternative<SemverVersion>(parsed)) return Kind::Semver;
    if (std::holds_alternative<DebianVersion>(parsed)) return Kind::Debian;
    if (std::holds_alternative<RpmVersion>(parsed)) return Kind::Rpm;
    return Kind::Maven;
}

template <class T>
void place(PackedVersion* v, ParsedRepr& parsed) {
    new (tail(v)) T(std::move(*std::get_if<T>(&parsed)));
}

// Builds the instance from its three fields; a null parsed stands for the
// generic parse itself.
PackedVersion* make_instance(const ParsedVersion& generic, ParsedRepr* parsed, Ecosystem eco, PackedAlloc alloc, void* ctx) {
    Kind kind = parsed ? classify(generic, *parsed) : Kind::None;
    // A text-ordered ecosystem's parse is the generic one, but the instance
    // must still order by the text.
    if (kind == Kind::None && row_of(eco).rules.text_order) kind = Kind::Text;
    std::span<const Seg> local;
    bool has_local = false;
    if (kind == Kind::Pep440) {
        const auto& label = std::get_if<Pep440Version>(parsed)->local;
        if (label) {
            has_local = true;
            local = std::span<const Seg>(label->data(), label->size());
        }
    }
    const std::span<const Seg> segs(generic.segments.data(), generic.segments.size());
    constexpr std::size_t LIMIT = std::numeric_limits<uint32_t>::max();
    if (generic.raw.size() > LIMIT || generic.build.size() > LIMIT) {
        // Lengths are kept in 32 bits; a text of 4 GiB is no version.
        throw std::bad_alloc();
    }
    const std::size_t tail_size = payload_size(kind) + (segs.size() + local.size()) * sizeof(PackedSeg) +
                                  generic.raw.size() + generic.build.size() + packed_text_bytes(segs) +
                                  packed_text_bytes(local);

    PackedVersion* v = alloc(ctx, tail_size);
    if (!v) return nullptr;
    v->epoch = generic.epoch;
    v->raw_len = static_cast<uint32_t>(generic.raw.size());
    v->build_len = static_cast<uint32_t>(generic.build.size());
    v->seg_count = static_cast<uint32_t>(segs.size());
    v->local_count = static_cast<uint32_t>(local.size());
    v->eco = eco.index();
    v->kind = static_cast<uint8_t>(kind);
    v->flags = static_cast<uint8_t>((generic.is_prerelease ? FLAG_PRE : 0) | (generic.is_postrelease ? FLAG_POST : 0) |
                                    (has_local ? FLAG_LOCAL : 0));

    auto* packed = const_cast<PackedSeg*>(seg_data(v));
    char* bytes = const_cast<char*>(raw_data(v));
    bytes = append_bytes(bytes, generic.raw);
    bytes = append_bytes(bytes, generic.build);
    bytes = pack_segments(segs, packed, bytes);
    pack_segments(local, packed + segs.size(), bytes);

    switch (kind) {
        case Kind::None:
        case Kind::Pep440:
        case Kind::Text: break;
        case Kind::Semver: place<SemverVersion>(v, *parsed); break;
        case Kind::Debian: place<DebianVersion>(v, *parsed); break;
        case Kind::Rpm: place<RpmVersion>(v, *parsed); break;
        case Kind::Maven: place<MavenVersion>(v, *parsed); break;
        case Kind::Boxed: new (tail(v)) ParsedRepr*(new ParsedRepr(std::move(*parsed))); break;
    }
    return v;
}

// The segments of a main part as slices, with the flags parse_generic
// raises: what an instance of the generic kind is built from in one pass,
// with no ParsedVersion in between.
struct SliceSegments {
    struct Slice {
        uint64_t number;   // a number's value, or a word's length
        const char* text;  // a word as written; nullptr for a number
    };
    InlineVec<Slice, INLINE_SEGMENTS> segs;
    std::size_t text_bytes = 0;
    bool is_prerelease = false;
    bool is_postrelease = false;

    void number(uint64_t v) { segs.push_back(Slice{v, nullptr}); }
    void word(std::string_view letters) {
        segs.push_back(Slice{letters.size(), letters.data()});
        text_bytes += letters.size();
        if (auto w = tag_weight_folded(letters)) {
            if (*w < RELEASE_WEIGHT) is_prerelease = true;
            if (*w > RELEASE_WEIGHT) is_postrelease = true;
        }
    }
    void tilde() {
        segs.push_back(Slice{1, "~"});
        ++text_bytes;
        is_prerelease = true;
    }
    void caret() {
        segs.push_back(Slice{1, "^"});
        ++text_bytes;
        is_postrelease = true;
    }
};

// make_instance for a parse that is the generic one (Kind::None), or the
// PEP 440 one of a text without a local label (Kind::Pep440): the same
// bytes, written straight from the text.
PackedVersion* make_generic_instance(std::string_view text, Ecosystem eco, Kind kind, PackedAlloc alloc, void* ctx) {
    const GenericParts parts = split_generic(text);
    SliceSegments scan;
    scan_segments(parts.main, scan);
    constexpr std::size_t LIMIT = std::numeric_limits<uint32_t>::max();
    if (text.size() > LIMIT) throw std::bad_alloc();
    const std::size_t count = scan.segs.size();
    const std::size_t tail_size = count * sizeof(PackedSeg) + text.size() + parts.build.size() + scan.text_bytes;
    PackedVersion* v = alloc(ctx, tail_size);
    if (!v) return nullptr;
    v->epoch = parts.epoch;
    v->raw_len = static_cast<uint32_t>(text.size());
    v->build_len = static_cast<uint32_t>(parts.build.size());
    v->seg_count = static_cast<uint32_t>(count);
    v->local_count = 0;
    v->eco = eco.index();
    v->kind = static_cast<uint8_t>(kind);
    v->flags = static_cast<uint8_t>((scan.is_prerelease ? FLAG_PRE : 0) | (scan.is_postrelease ? FLAG_POST : 0));

    auto* packed = const_cast<PackedSeg*>(seg_data(v));
    char* bytes = const_cast<char*>(raw_data(v));
    bytes = append_bytes(bytes, text);
    bytes = append_bytes(bytes, parts.build);
    for (std::size_t i = 0; i < count; ++i) {
        const SliceSegments::Slice& s = scan.segs[i];
        if (!s.text) {
            packed[i] = PackedSeg{s.number, nullptr};
            continue;
        }
        // Stored lower-cased, as the generic parse keeps its words.
        for (std::size_t k = 0; k < s.number; ++k) bytes[k] = ascii::to_lower(s.text[k]);
        packed[i] = PackedSeg{s.number, bytes};
        bytes += s.number;
    }
    return v;
}

// Whether an ecosystem's parse of `text` is built here in one pass: the
// generic family after its check, and PEP 440 after its screen when the
// text has no local label. The check's failure is handed back; nullopt
// means the ordinary path must build the instance.
std::optional<Status> one_pass_check(Ecosystem eco, std::string_view text, Kind& kind) {
    if (eco == Ecosystem::Pep440) {
        auto rest = strategies::pep440::screen(text);
        if (!rest) return Status(std::move(rest).failure());
        if (strategies::pep440::local_text(*rest)) return std::nullopt;
        kind = Kind::Pep440;
        return success();
    }
    const Rules& rules = row_of(eco).rules;
    if (rules.store != StoreKind::Generic) return std::nullopt;
    kind = rules.text_order ? Kind::Text : Kind::None;
    return rules.check ? rules.check(text) : success();
}

}  // namespace

ParsedVersion rebuild_generic(const PackedVersion* v) {
    ParsedVersion pv;
    pv.raw.assign(raw_of(v));
    unpack_segments(segments_of(v), pv.segments);
    pv.build.assign(build_of(v));
    pv.epoch = v->epoch;
    pv.is_prerelease = (v->flags & FLAG_PRE) != 0;
    pv.is_postrelease = (v->flags & FLAG_POST) != 0;
    return pv;
}

ParsedRepr rebuild_parsed(const PackedVersion* v) {
    switch (kind_of(v)) {
        case Kind::None:
        case Kind::Text: return ParsedRepr(rebuild_generic(v));
        case Kind::Pep440: {
            Pep440Version p{rebuild_generic(v), {}};
            if (v->flags & FLAG_LOCAL) {
                p.local.emplace();
                unpack_segments(local_of(v), *p.local);
            }
            return ParsedRepr(std::move(p));
        }
        case Kind::Semver: return ParsedRepr(*payload<SemverVersion>(v));
        case Kind::Debian: return ParsedRepr(*payload<DebianVersion>(v));
        case Kind::Rpm: return ParsedRepr(*payload<RpmVersion>(v));
        case Kind::Maven: return ParsedRepr(*payload<MavenVersion>(v));
        case Kind::Boxed: break;
    }
    return *boxed_of(v);
}

// ---------------------------------------------------------------- ordering

Ordering cmp_packed_generic(const PackedVersion* a, const PackedVersion* b) {
    if (a->epoch != b->epoch) return order_of(a->epoch, b->epoch);
    return cmp_lists(segments_of(a), segments_of(b));
}

namespace {

// The PEP 440 ordering on the packed form: the generic one, then the local
// label (absent before present).
Ordering cmp_packed_pep440(const PackedVersion* a, const PackedVersion* b) {
    const Ordering o = cmp_packed_generic(a, b);
    if (o != Ordering::Equal) return o;
    const bool la = (a->flags & FLAG_LOCAL) != 0, lb = (b->flags & FLAG_LOCAL) != 0;
    if (la != lb) return la ? Ordering::Greater : Ordering::Less;
    return cmp_lists(local_of(a), local_of(b));
}

// The ecosystem's own ordering of two stored payloads, called on the records
// themselves so that nothing is copied.
Ordering cmp_payload(const SemverVersion& a, const SemverVersion& b) {
    return strategies::semver::cmp_semver_strict(a, b);
}
Ordering cmp_payload(const DebianVersion& a, const DebianVersion& b) {
    return strategies::debian::cmp_debian_view({a.epoch, a.upstream, a.revision}, {b.epoch, b.upstream, b.revision});
}
Ordering cmp_payload(const RpmVersion& a, const RpmVersion& b) {
    return strategies::rpm::cmp_rpm_view({a.epoch, a.version, a.release}, {b.epoch, b.version, b.release});
}
Ordering cmp_payload(const MavenVersion& a, const MavenVersion& b) {
    return strategies::maven::cmp_list(a.items, b.items);
}

template <class T>
Ordering cmp_stored(PackedVersion* a, PackedVersion* b) {
    return cmp_payload(*payload<T>(a), *payload<T>(b));
}

// Two instances of one ecosystem, ordered by that ecosystem's rules. The
// usual cases allocate nothing.
}  // namespace

Ordering cmp_same_ecosystem(PackedVersion* a, PackedVersion* b) {
    if (a == b) return Ordering::Equal;
    const Ecosystem eco = eco_of(a);
    if (a->kind == b->kind) {
        switch (kind_of(a)) {
            case Kind::None: return cmp_packed_generic(a, b);
            case Kind::Pep440: return cmp_packed_pep440(a, b);
            case Kind::Semver: return cmp_stored<SemverVersion>(a, b);
            case Kind::Debian: return cmp_stored<DebianVersion>(a, b);
            case Kind::Rpm: return cmp_stored<RpmVersion>(a, b);
            case Kind::Maven: return cmp_stored<MavenVersion>(a, b);
            case Kind::Text: return row_of(eco).rules.text_order->compare(unicode::trim(raw_of(a)), unicode::trim(raw_of(b)));
            case Kind::Boxed: return compare_for_ecosystem(eco, *boxed_of(a), *boxed_of(b));
        }
    }
    return compare_for_ecosystem(eco, rebuild_parsed(a), rebuild_parsed(b));
}

Result<PackedVersion*> build_packed(std::string_view text, Ecosystem eco, bool detected, PackedAlloc alloc, void* ctx) {
    Kind kind = Kind::None;
    if (std::optional<Status> checked = one_pass_check(eco, text, kind)) {
        if (*checked) return make_generic_instance(text, eco, kind, alloc, ctx);
        if (detected) return make_generic_instance(text, Ecosystem::Generic, Kind::None, alloc, ctx);
        return std::move(*checked).failure();
    }
    const ParsedVersion generic = parse_generic(text);
    Result<ParsedRepr> parsed = parse_for_ecosystem(eco, text);
    if (parsed) return make_instance(generic, &parsed.value(), eco, alloc, ctx);
    if (detected) return make_instance(generic, nullptr, Ecosystem::Generic, alloc, ctx);
    return std::move(parsed).failure();
}

void destroy_packed(PackedVersion* v) noexcept {
    switch (kind_of(v)) {
        case Kind::None:
        case Kind::Pep440:
        case Kind::Text: break;
        case Kind::Semver: payload<SemverVersion>(v)->~SemverVersion(); break;
        case Kind::Debian: payload<DebianVersion>(v)->~DebianVersion(); break;
        case Kind::Rpm: payload<RpmVersion>(v)->~RpmVersion(); break;
        case Kind::Maven: payload<MavenVersion>(v)->~MavenVersion(); break;
        case Kind::Boxed: delete *payload<ParsedRepr*>(v); break;
    }
}

namespace {

// Equal versions of one ecosystem hash alike: where the ecosystem's ordering
// holds texts equal that the generic segments tell apart, the hash follows
// the ecosystem's own form.
uint64_t own_hash(const DebianVersion& d) { return hash_debian(d.epoch, d.upstream, d.revision); }
uint64_t own_hash(const RpmVersion& r) { return hash_rpm(r.epoch, r.version, r.release); }
uint64_t own_hash(const MavenVersion& m) {
    // Equal Maven versions may be spelt apart (1.0 and 1-ga); their
    // canonical texts are not.
    const ParsedVersion p = parse_generic(m.canonical());
    return hash_segments(p.epoch, std::span<const Seg>(p.segments.data(), p.segments.size()));
}

}  // namespace

uint64_t hash_packed(const PackedVersion* v) {
    uint64_t h = 0;
    const ParsedRepr* boxed = boxed_of(v);
    if (kind_of(v) == Kind::Text)
        h = row_of(eco_of(v)).rules.text_order->hash(unicode::trim(raw_of(v)));
    else if (kind_of(v) == Kind::Debian)
        h = own_hash(*payload<DebianVersion>(v));
    else if (kind_of(v) == Kind::Rpm)
        h = own_hash(*payload<RpmVersion>(v));
    else if (kind_of(v) == Kind::Maven)
        h = own_hash(*payload<MavenVersion>(v));
    else if (const auto* d = boxed ? std::get_if<DebianVersion>(boxed) : nullptr)
        h = own_hash(*d);
    else if (const auto* r = boxed ? std::get_if<RpmVersion>(boxed) : nullptr)
        h = own_hash(*r);
    else if (const auto* m = boxed ? std::get_if<MavenVersion>(boxed) : nullptr)
        h = own_hash(*m);
    else
        h = hash_segments(v->epoch, segments_of(v));
    return h;
}

}  // namespace quorlen::packed
