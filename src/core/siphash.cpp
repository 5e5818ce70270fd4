#include "core/siphash.hpp"

#include <cstring>

namespace quorlen {

namespace {

constexpr uint64_t rotl(uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

// Little-endian load, whatever the host's byte order.
uint64_t load_le64(const unsigned char* p) noexcept {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

struct State {
    uint64_t v0, v1, v2, v3;

    void round() noexcept {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }
    void absorb(uint64_t m) noexcept {
        v3 ^= m;
        round();
        v0 ^= m;
    }
};

}  // namespace

uint64_t siphash13(uint64_t k0, uint64_t k1, std::string_view bytes) noexcept {
    State s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL, k1 ^ 0x7465646279746573ULL};
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    const std::size_t whole = n - n % 8;
    for (std::size_t i = 0; i < whole; i += 8) s.absorb(load_le64(p + i));

    // The last block carries the tail bytes and the length's low byte on top.
    unsigned char tail[8] = {};
    if (n > whole) std::memcpy(tail, p + whole, n - whole);
    uint64_t last = load_le64(tail) | (static_cast<uint64_t>(n & 0xff) << 56);
    s.absorb(last);

    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace quorlen
