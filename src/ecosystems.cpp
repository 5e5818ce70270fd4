// Lookups over the ecosystem rows: names, package-URL types, OSV names.
#include "ecosystems.hpp"

#include "core/unicode.hpp"

namespace quorlen {

namespace {

constexpr std::size_t LONGEST_NAME = 16;

// A name of up to 16 bytes as two integers (bytes in order, zero padded), so
// that a lookup compares integers, not texts.
struct PackedName {
    uint64_t hi = 0;
    uint64_t lo = 0;
    constexpr bool operator==(const PackedName&) const = default;
};

constexpr PackedName pack_name(std::string_view name) noexcept {
    PackedName p;
    for (std::size_t i = 0; i < name.size() && i < LONGEST_NAME; ++i) {
        const auto byte = static_cast<uint64_t>(static_cast<unsigned char>(name[i]));
        if (i < 8)
            p.hi |= byte << (8 * (7 - i));
        else
            p.lo |= byte << (8 * (15 - i));
    }
    return p;
}

struct NameEntry {
    PackedName key;
    Ecosystem::Value value;
};

constexpr std::size_t count_names(std::string_view EcosystemRow::*list) {
    std::size_t n = 0;
    for (const EcosystemRow& r : ECOSYSTEMS) any_name(r.*list, [&](std::string_view) { return ++n, false; });
    return n;
}

// Every accepted name of one kind: canonical names first, then aliases.
template <std::size_t N>
constexpr std::array<NameEntry, N> packed_names(std::string_view EcosystemRow::*list, bool with_canonical) {
    std::array<NameEntry, N> out{};
    std::size_t k = 0;
    if (with_canonical)
        for (const EcosystemRow& r : ECOSYSTEMS) out[k++] = {pack_name(r.name), r.id};
    for (const EcosystemRow& r : ECOSYSTEMS)
        any_name(r.*list, [&](std::string_view name) { return out[k++] = {pack_name(name), r.id}, false; });
    return out;
}

constexpr auto NAMES = packed_names<Ecosystem::COUNT + count_names(&EcosystemRow::aliases)>(&EcosystemRow::aliases, true);
constexpr auto PURL_TYPES = packed_names<count_names(&EcosystemRow::purl_types)>(&EcosystemRow::purl_types, false);
constexpr auto OSV_NAMES = packed_names<count_names(&EcosystemRow::osv_names)>(&EcosystemRow::osv_names, false);

constexpr bool fits(std::string_view list) {
    return !any_name(list, [](std::string_view n) {
        return n.empty() || n.size() > LONGEST_NAME || n.find('\0') != std::string_view::npos;
    });
}

static_assert([] {
    for (const EcosystemRow& r : ECOSYSTEMS)
        if (!fits(r.name) || !fits(r.aliases) || !fits(r.purl_types) || !fits(r.osv_names)) return false;
    return true;
}(), "every name fits the packed form, holds no NUL byte and no list has an empty entry");

template <std::size_t N>
constexpr bool unique(const std::array<NameEntry, N>& names) {
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = i + 1; j < N; ++j)
            if (names[i].key == names[j].key) return false;
    return true;
}
static_assert(unique(NAMES) && unique(PURL_TYPES) && unique(OSV_NAMES), "a name stands for one ecosystem");

// Looks up a name after ASCII lower-casing; a NUL byte would pack like the
// padding, and no accepted name has one.
template <std::size_t N>
std::optional<Ecosystem> find_name(const std::array<NameEntry, N>& names, std::string_view name) noexcept {
    if (name.size() > LONGEST_NAME || name.find('\0') != std::string_view::npos) return std::nullopt;
    char buf[LONGEST_NAME];
    for (std::size_t i = 0; i < name.size(); ++i) buf[i] = ascii::to_lower(name[i]);
    const PackedName key = pack_name(std::string_view(buf, name.size()));
    for (const NameEntry& e : names)
        if (e.key == key) return Ecosystem(e.value);
    return std::nullopt;
}

}  // namespace

std::string unsupported_ecosystem_message(std::string_view name) {
    std::string msg = "unsupported ecosystem '";
    msg += ascii::lower(name);
    msg += "'; expected one of: ";
    for (const EcosystemRow& r : ECOSYSTEMS) {
        if (r.id) msg += ", ";
        msg += r.name;
    }
    return msg;
}

Result<Ecosystem> Ecosystem::from_str(std::string_view name) {
    if (auto eco = find_name(NAMES, name)) return *eco;
    return Failure{unsupported_ecosystem_message(name), FailureKind::UnknownEcosystem};
}

std::string_view Ecosystem::as_str() const noexcept { return ECOSYSTEMS[v_].name; }

std::optional<Ecosystem> ecosystem_for_purl_type(std::string_view type) noexcept {
    // Types are matched exactly: lower-casing happens when a URL is parsed.
    for (char c : type)
        if (c >= 'A' && c <= 'Z') return std::nullopt;
    return find_name(PURL_TYPES, type);
}

Result<Ecosystem> ecosystem_for_osv_name(std::string_view name) {
    const std::string_view base = unicode::trim(name.substr(0, name.find(':')));
    if (auto eco = find_name(OSV_NAMES, base)) return *eco;
    return Failure{quoted("unknown OSV ecosystem", name), FailureKind::UnknownEcosystem};
}

}  // namespace quorlen
