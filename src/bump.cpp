#include "bump.hpp"

#include <charconv>
#include <limits>

namespace quorlen {

void append_decimal(std::string& out, uint64_t n) {
    char buf[20];  // the largest 64-bit value has 20 digits
    const auto r = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, r.ptr);
}

bool append_successor(std::string& out, uint64_t n) {
    if (n == std::numeric_limits<uint64_t>::max()) {
        out += "18446744073709551616";
        return false;
    }
    append_decimal(out, n + 1);
    return true;
}

void append_release(std::string& out, Release r) {
    append_decimal(out, r.major);
    out += '.';
    append_decimal(out, r.minor);
    out += '.';
    append_decimal(out, r.patch);
}

bool append_bumped(std::string& out, Release r, Component c) {
    switch (c) {
        case Component::Major: {
            const bool fits = append_successor(out, r.major);
            out += ".0.0";
            return fits;
        }
        case Component::Minor: {
            append_decimal(out, r.major);
            out += '.';
            const bool fits = append_successor(out, r.minor);
            out += ".0";
            return fits;
        }
        case Component::Patch: break;
    }
    append_decimal(out, r.major);
    out += '.';
    append_decimal(out, r.minor);
    out += '.';
    return append_successor(out, r.patch);
}

}  // namespace quorlen
