// Incrementing a release: the one rule behind the bump functions and the
// upper bounds of caret, tilde and x-ranges.
#pragma once

#include <cstdint>
#include <string>

namespace quorlen {

struct Release {
    uint64_t major = 0;
    uint64_t minor = 0;
    uint64_t patch = 0;
};

enum class Component : uint8_t { Major, Minor, Patch };

// Writes n in decimal.
void append_decimal(std::string& out, uint64_t n);

// Writes n + 1 in decimal. The largest 64-bit value (which the generic parse
// also gives every longer digit run) gets its exact successor,
// 18446744073709551616, never a wrapped 0; the result is false then, since
// that text reads back as the largest value again.
bool append_successor(std::string& out, uint64_t n);

// "{major}.{minor}.{patch}".
void append_release(std::string& out, Release r);

// The release with component c incremented and the ones after it 0, as
// text; false when the incremented component did not fit in 64 bits.
bool append_bumped(std::string& out, Release r, Component c);

}  // namespace quorlen
