// A parsed version in one block: a small header, then a tail holding the
// ecosystem's own parse when it adds anything to the generic one (the
// payload, of the kind the header names), the generic segments, the PEP 440
// local segments, then the bytes of the raw text, of the build text and of
// the segment texts. A list of a million versions costs what their texts
// cost and little more (a ParsedVersion alone takes some 800 bytes). The
// ecosystem's ParsedRepr is rebuilt from these where a caller needs one.
//
// The block's memory comes from the caller, so that an owner (the Python
// Version object) can keep the header and tail inside its own allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>

#include "packed_segments.hpp"
#include "strategies/registry.hpp"

namespace quorlen::packed {

struct PackedVersion {
    uint64_t epoch;
    uint32_t raw_len;
    uint32_t build_len;
    uint32_t seg_count;
    uint32_t local_count;
    uint8_t eco;    // Ecosystem value
    uint8_t kind;   // what the payload is
    uint8_t flags;  // prerelease, postrelease, local label present
};

// What the payload at the head of the tail is.
enum class Kind : uint8_t {
    None,    // the ecosystem's parse is the generic one: nothing more to keep
    Pep440,  // the generic parse plus a local label, kept as packed segments
    Semver,
    Debian,
    Rpm,
    Maven,
    Text,    // the generic parse, ordered and hashed by the ecosystem's text order
    Boxed,  // anything else: a heap ParsedRepr, never expected in practice
};

constexpr uint8_t FLAG_PRE = 1;
constexpr uint8_t FLAG_POST = 2;
constexpr uint8_t FLAG_LOCAL = 4;

static_assert(sizeof(PackedVersion) % 8 == 0, "the tail must start 8-aligned");
static_assert(alignof(PackedSeg) <= 8 && alignof(SemverVersion) <= 8 && alignof(DebianVersion) <= 8 &&
              alignof(RpmVersion) <= 8 && alignof(MavenVersion) <= 8);

constexpr std::size_t round8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

constexpr std::size_t payload_size(Kind k) {
    switch (k) {
        case Kind::None:
        case Kind::Pep440:
        case Kind::Text: return 0;
        case Kind::Semver: return round8(sizeof(SemverVersion));
        case Kind::Debian: return round8(sizeof(DebianVersion));
        case Kind::Rpm: return round8(sizeof(RpmVersion));
        case Kind::Maven: return round8(sizeof(MavenVersion));
        case Kind::Boxed: return sizeof(ParsedRepr*);
    }
    return 0;
}

inline Kind kind_of(const PackedVersion* v) { return static_cast<Kind>(v->kind); }
inline Ecosystem eco_of(const PackedVersion* v) { return Ecosystem(static_cast<Ecosystem::Value>(v->eco)); }

inline char* tail(PackedVersion* v) { return reinterpret_cast<char*>(v) + sizeof(PackedVersion); }
inline const char* tail(const PackedVersion* v) { return reinterpret_cast<const char*>(v) + sizeof(PackedVersion); }

template <class T>
inline T* payload(PackedVersion* v) {
    return std::launder(reinterpret_cast<T*>(tail(v)));
}
template <class T>
inline const T* payload(const PackedVersion* v) {
    return std::launder(reinterpret_cast<const T*>(tail(v)));
}

inline const PackedSeg* seg_data(const PackedVersion* v) {
    return reinterpret_cast<const PackedSeg*>(tail(v) + payload_size(kind_of(v)));
}
inline std::span<const PackedSeg> segments_of(const PackedVersion* v) { return {seg_data(v), v->seg_count}; }
inline std::span<const PackedSeg> local_of(const PackedVersion* v) { return {seg_data(v) + v->seg_count, v->local_count}; }
inline const char* raw_data(const PackedVersion* v) {
    return reinterpret_cast<const char*>(seg_data(v) + v->seg_count + v->local_count);
}
inline std::string_view raw_of(const PackedVersion* v) { return {raw_data(v), v->raw_len}; }
inline std::string_view build_of(const PackedVersion* v) { return {raw_data(v) + v->raw_len, v->build_len}; }

// The stored parse of the ecosystem when it is not packed; null otherwise.
inline const ParsedRepr* boxed_of(const PackedVersion* v) {
    return kind_of(v) == Kind::Boxed ? *payload<ParsedRepr*>(v) : nullptr;
}

// Memory for a block: a PackedVersion followed by `tail_bytes` bytes,
// 8-aligned, or nullptr when there is none (the allocator's own failure
// stands).
using PackedAlloc = PackedVersion* (*)(void* ctx, std::size_t tail_bytes);

// Parses text under eco and writes the block into memory from alloc. When
// `detected`, an ecosystem that refuses the text leaves the generic one;
// otherwise its refusal is the result. A null block means alloc failed.
Result<PackedVersion*> build_packed(std::string_view text, Ecosystem eco, bool detected, PackedAlloc alloc, void* ctx);

// Ends the lifetime of what the block holds; its memory stays the caller's.
void destroy_packed(PackedVersion* v) noexcept;

ParsedVersion rebuild_generic(const PackedVersion* v);
ParsedRepr rebuild_parsed(const PackedVersion* v);

// The generic ordering of two blocks, and the ordering of their (shared)
// ecosystem. The usual cases allocate nothing.
Ordering cmp_packed_generic(const PackedVersion* a, const PackedVersion* b);
Ordering cmp_same_ecosystem(PackedVersion* a, PackedVersion* b);

// Equal blocks of one ecosystem hash alike; the same in every process.
uint64_t hash_packed(const PackedVersion* v);

}  // namespace quorlen::packed
