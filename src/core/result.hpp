// Small value types shared by the whole core: a three-valued ordering and the
// value-or-failure-message result that every core operation returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace quorlen {

enum class Ordering : int8_t { Less = -1, Equal = 0, Greater = 1 };

constexpr Ordering reverse(Ordering o) noexcept { return static_cast<Ordering>(-static_cast<int8_t>(o)); }

template <class T>
constexpr Ordering order_of(const T& a, const T& b) noexcept {
    return a < b ? Ordering::Less : (b < a ? Ordering::Greater : Ordering::Equal);
}

// What went wrong, for callers that act on the kind of a failure rather
// than on its text.
enum class FailureKind : uint8_t {
    Invalid,           // the input breaks the rules it is read under
    UnknownEcosystem,  // a name that no ecosystem answers to
};

// A failure message in place of a result. Messages are complete texts for the
// user; the binding raises them unchanged, as the exception of their kind.
struct Failure {
    std::string message;
    FailureKind kind = FailureKind::Invalid;
};

inline Failure fail(std::string message) { return Failure{std::move(message)}; }

// "{head}: '{piece}'", the shape of most messages that quote the input.
std::string quoted(std::string_view head, std::string_view piece);

// Either a value or a failure message. Core operations never throw for bad
// input; they hand back one of these.
template <class T>
class Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit on purpose
    Result(Failure f) : v_(std::in_place_index<1>, std::move(f)) {}    // NOLINT

    bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    T& operator*() & { return std::get<0>(v_); }
    const T& operator*() const& { return std::get<0>(v_); }

    const std::string& error() const& { return std::get<1>(v_).message; }
    std::string&& error() && { return std::move(std::get<1>(v_).message); }
    Failure failure() && { return std::move(std::get<1>(v_)); }
    FailureKind failure_kind() const noexcept {
        const Failure* f = std::get_if<1>(&v_);
        return f ? f->kind : FailureKind::Invalid;
    }

private:
    std::variant<T, Failure> v_;
};

// Result of an operation that yields nothing but may fail.
struct Unit {};
using Status = Result<Unit>;
inline Status success() { return Unit{}; }

}  // namespace quorlen

namespace quorlen {

// A broken invariant that only a bug can cause (never bad input). It stops
// the process with a message rather than answering wrongly.
[[noreturn]] void internal_fault(const char* what) noexcept;

}  // namespace quorlen
