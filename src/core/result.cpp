#include "core/result.hpp"

#include <cstdio>
#include <cstdlib>

namespace quorlen {

std::string quoted(std::string_view head, std::string_view piece) {
    std::string msg(head);
    msg += ": '";
    msg += piece;
    msg += '\'';
    return msg;
}

void internal_fault(const char* what) noexcept {
    std::fprintf(stderr, "quorlen: internal fault: %s\n", what);
    std::abort();
}

}  // namespace quorlen
