// Working arrays of the study and their sort: large arrays reused from step to step, and
// a radix sort that gives the same order for any number of threads.
#pragma once

#include "worker_pool.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kim {

// Asks for 2 MiB pages for the untouched memory [p, p + bytes), where the system has
// them: filling it then takes few page faults, microseconds each on a virtual machine.
inline void adviseHugePages([[maybe_unused]] const void* p, [[maybe_unused]] size_t bytes) {
#ifdef __linux__
    constexpr uintptr_t huge = uintptr_t{2} << 20;
    const auto at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t b = (at + huge - 1) & ~(huge - 1), e = (at + bytes) & ~(huge - 1);
    if (e > b) madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
#endif
}

// A working array kept from use to use, its new elements left unset: fresh memory costs
// a page fault and the zeroing of the page.
template <class T> class Buffer {
  public:
    // Room for n elements; what was there is not kept.
    T* room(size_t n) {
        if (n > capacity_) {
            data_.reset();
            data_.reset(new T[n]);
            capacity_ = n;
            adviseHugePages(data_.get(), n * sizeof(T));
        }
        return data_.get();
    }
    T* data() const { return data_.get(); }
    size_t capacity() const { return capacity_; }
    T& operator[](size_t i) const { return data_[i]; }

  private:
    std::unique_ptr<T[]> data_;
    size_t capacity_ = 0;
};

// Sorts a[0..n) by key(element): least significant digit first over the digits of
// `Bits` bits of the key from bit `from` up to bit `to` (higher bits are ignored), or by
// comparing whole keys when n is small. Stable, and the same result for any number of
// workers.
// Eight-bit digits suit 8-byte elements; wider ones save passes over larger elements.
template <int Bits, class T, class Key>
void radixSort(T* a, size_t n, Buffer<T>& tmp, int from, int to, Key key, WorkerPool* pool) {
    if (n < (1u << 12)) {
        std::stable_sort(a, a + n, [&](const T& x, const T& y) { return key(x) < key(y); });
        return;
    }
    constexpr size_t digits = size_t{1} << Bits, mask = digits - 1;
    // A part's counts take as much memory as eight of its elements' digits at most: with
    // many threads, fewer parts rather than more counts than elements.
    const size_t parts =
        pool && n >= (1u << 16) ? std::clamp<size_t>(n / (8 * digits), 1, pool->size()) : 1;
    std::vector<size_t> count(parts * digits);
    T* src = a;
    T* dst = tmp.room(n);
    auto each = [&](auto&& fn) {
        if (parts == 1)
            fn(size_t{0}, size_t{0}, n);
        else
            pool->run(parts, [&](size_t part, unsigned) {
                fn(part, n * part / parts, n * (part + 1) / parts);
            });
    };
    for (int shift = from; shift < to; shift += Bits) {
        each([&](size_t part, size_t b, size_t e) {
            size_t* c = count.data() + part * digits;
            std::fill(c, c + digits, 0);
            for (size_t i = b; i < e; ++i)
                ++c[(key(src[i]) >> shift) & mask];
        });
        size_t total = 0;
        bool oneDigit = false;
        for (size_t d = 0; d < digits; ++d) {
            size_t inDigit = 0;
            for (size_t part = 0; part < parts; ++part) {
                size_t& c = count[part * digits + d];
                inDigit += c;
                c = total + inDigit - c;
            }
            total += inDigit;
            oneDigit |= inDigit == n;
        }
        if (oneDigit) continue; // every key has this digit
        each([&](size_t part, size_t b, size_t e) {
            size_t* c = count.data() + part * digits;
            for (size_t i = b; i < e; ++i)
                dst[c[(key(src[i]) >> shift) & mask]++] = src[i];
        });
        std::swap(src, dst);
    }
    if (src != a) std::memcpy(a, src, n * sizeof(T));
}

} // namespace kim
