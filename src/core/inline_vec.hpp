// A vector that keeps its first N elements inside the object, so that parsing
// a short version allocates nothing. Past N it moves to the heap like
// std::vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace quorlen {

template <class T, std::size_t N>
class InlineVec {
    static_assert(N > 0);

public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    InlineVec() noexcept : data_(inline_ptr()) {}
    InlineVec(std::initializer_list<T> init) : data_(inline_ptr()) {
        reserve(init.size());
        for (const T& v : init) push_back(v);
    }
    InlineVec(const InlineVec& other) : data_(inline_ptr()) { append_copy(other); }
    InlineVec(InlineVec&& other) noexcept : data_(inline_ptr()) { take(std::move(other)); }
    InlineVec& operator=(const InlineVec& other) {
        if (this != &other) {
            clear();
            append_copy(other);
        }
        return *this;
    }
    InlineVec& operator=(InlineVec&& other) noexcept {
        if (this != &other) {
            release();
            take(std::move(other));
        }
        return *this;
    }
    ~InlineVec() { release(); }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::size_t capacity() const noexcept { return cap_; }

    T* data() noexcept { return ptr(); }
    const T* data() const noexcept { return ptr(); }
    T& operator[](std::size_t i) noexcept { return ptr()[i]; }
    const T& operator[](std::size_t i) const noexcept { return ptr()[i]; }
    T& back() noexcept { return ptr()[size_ - 1]; }
    const T& back() const noexcept { return ptr()[size_ - 1]; }
    T* begin() noexcept { return ptr(); }
    T* end() noexcept { return ptr() + size_; }
    const T* begin() const noexcept { return ptr(); }
    const T* end() const noexcept { return ptr() + size_; }

    void reserve(std::size_t want) {
        if (want <= cap_) return;
        std::size_t cap = cap_ * 2 > want ? cap_ * 2 : want;
        T* fresh = static_cast<T*>(::operator new(cap * sizeof(T), std::align_val_t{alignof(T)}));
        T* old = ptr();
        for (std::size_t i = 0; i < size_; ++i) {
            ::new (fresh + i) T(std::move(old[i]));
            old[i].~T();
        }
        free_heap();
        data_ = fresh;
        cap_ = cap;
    }

    template <class... Args>
    T& emplace_back(Args&&... args) {
        if (size_ == cap_) reserve(cap_ * 2);
        T* slot = ::new (ptr() + size_) T(std::forward<Args>(args)...);
        ++size_;
        return *slot;
    }
    void push_back(const T& v) { emplace_back(v); }
    void push_back(T&& v) { emplace_back(std::move(v)); }
    void pop_back() noexcept { ptr()[--size_].~T(); }
    void resize_down(std::size_t n) noexcept {
        while (size_ > n) pop_back();
    }
    void clear() noexcept { resize_down(0); }

private:
    T* ptr() noexcept { return data_; }
    const T* ptr() const noexcept { return data_; }
    T* inline_ptr() noexcept { return reinterpret_cast<T*>(inline_); }
    bool on_heap() const noexcept { return data_ != reinterpret_cast<const T*>(inline_); }

    void free_heap() noexcept {
        if (on_heap()) ::operator delete(data_, std::align_val_t{alignof(T)});
        data_ = inline_ptr();
    }
    void release() noexcept {
        clear();
        free_heap();
        cap_ = N;
    }
    void append_copy(const InlineVec& other) {
        reserve(other.size_);
        for (const T& v : other) emplace_back(v);
    }
    // Steals a heap buffer outright; inline elements are moved one by one.
    void take(InlineVec&& other) noexcept {
        if (other.on_heap()) {
            data_ = other.data_;
            cap_ = other.cap_;
            size_ = other.size_;
            other.data_ = other.inline_ptr();
            other.cap_ = N;
            other.size_ = 0;
            return;
        }
        T* src = other.ptr();
        for (std::size_t i = 0; i < other.size_; ++i) {
            ::new (inline_ptr() + i) T(std::move(src[i]));
            src[i].~T();
        }
        size_ = other.size_;
        other.size_ = 0;
    }

    T* data_;  // inline_ while the elements fit there, else the heap block
    std::size_t size_ = 0;
    std::size_t cap_ = N;
    alignas(T) unsigned char inline_[N * sizeof(T)];
};

}  // namespace quorlen
