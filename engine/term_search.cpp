#include "term_search.h"

#include "study_runner.h"

namespace kim {

TermSearch::TermSearch(const Space& space, std::vector<int8_t> coefficients,
                       std::vector<uint8_t> letters, bool distinct)
    : s_(space), coef_(std::move(coefficients)), letters_(std::move(letters)), distinct_(distinct) {
    const int t = static_cast<int>(coef_.size());
    const double n = static_cast<double>(s_.frequencies.size());
    const double R = static_cast<double>(s_.receivers.size());
    const double maxSums = static_cast<double>(std::max<size_t>(s_.memory / 48, 64));
    // As a family: the split with the least sorting and sweeping within the memory.
    work_ = HUGE_VAL;
    for (int m = 1; m <= t; ++m) {
        const double sums = std::pow(n, m), choices = std::pow(n, t - m);
        if (m > 1 && sums > maxSums) break;
        const double work = 3 * sums + 2 * choices * R;
        if (work < work_) {
            work_ = work;
            m_ = m;
        }
    }
    lead_ = t - m_;
    choices_ = static_cast<uint64_t>(std::pow(n, lead_) + 0.5);
    pool_ = s_.pool;
    if (work_ < kQuickStudyWork && pool_->size() > 1) {
        alone_ = std::make_unique<WorkerPool>(1);
        pool_ = alone_.get();
    }
    sortSums();
}

void TermSearch::checkStop() const {
    if (s_.stop.stop_requested()) throw Stopped{};
}

void TermSearch::trailing(uint32_t index, std::array<uint16_t, 5>& at) const {
    const auto n = static_cast<uint32_t>(s_.frequencies.size());
    for (int j = terms(); j-- > lead_; index /= n)
        at[static_cast<size_t>(j)] = s_.frequencies[index % n];
}

double TermSearch::value(const std::array<uint16_t, 5>& at) const {
    double lv = 0, tail = 0;
    for (int j = 0; j < terms(); ++j)
        (j < lead_ ? lv : tail) +=
            coef_[static_cast<size_t>(j)] * (*s_.value)[at[static_cast<size_t>(j)]];
    return lv + tail;
}

void TermSearch::sortSums() {
    const size_t n = s_.frequencies.size();
    size_t size = 1;
    for (int j = 0; j < m_; ++j)
        size *= n;
    ss_.size = n == 0 ? 0 : size;
    ss_.m = m_;
    if (ss_.size == 0) return;
    Sum* sums = ss_.sums.room(std::max<size_t>(ss_.size, 1));
    const size_t parts = pool_->size() == 1 ? 1 : 8 * pool_->size();
    pool_->run(parts, [&](size_t part, unsigned) {
        const size_t b = ss_.size * part / parts, e = ss_.size * (part + 1) / parts;
        std::array<size_t, 5> digit{};
        for (size_t x = b, j = static_cast<size_t>(m_); j-- > 0; x /= n)
            digit[j] = x % n;
        for (size_t i = b; i < e; ++i) {
            if ((i & 65535) == 65535) checkStop();
            double v = 0;
            for (int j = 0; j < m_; ++j)
                v += coef_[static_cast<size_t>(lead_ + j)] *
                     (*s_.value)[s_.frequencies[digit[static_cast<size_t>(j)]]];
            sums[i] = {v, static_cast<uint32_t>(i)};
            for (int j = m_; j-- > 0;) {
                if (++digit[static_cast<size_t>(j)] < n) break;
                digit[static_cast<size_t>(j)] = 0;
            }
        }
    });
    checkStop();
    if (distinct_) {
        // Sums whose last terms repeat a frequency or run against the order are left out.
        std::array<uint16_t, 5> at{};
        ss_.size = static_cast<size_t>(std::remove_if(sums, sums + ss_.size,
                                                      [&](const Sum& x) {
                                                          trailing(x.index, at);
                                                          return !orderly(at, lead_, terms());
                                                      }) -
                                       sums);
    }
    if (!s_.exhaustive) {
        Buffer<Sum> tmp;
        radixSort<16>(
            sums, ss_.size, tmp, 0, 64, [](const Sum& x) { return sortKey(x.value); }, pool_);
    }
    bool weighted = false;
    if (!letters_.empty())
        for (uint16_t c : s_.frequencies)
            weighted |= (*s_.weight)[c] != 1;
    ss_.weigh(weighted, n, m_, [](size_t) { return uint64_t{1}; });
    if (weighted) {
        // Each trailing term weighs its entries to the power of its letters.
        uint64_t* w = ss_.weightBefore.data();
        for (size_t i = 0; i < ss_.size; ++i) {
            uint64_t x = 1;
            uint32_t index = sums[i].index;
            for (int j = m_; j-- > 0; index /= static_cast<uint32_t>(n)) {
                const uint64_t m = (*s_.weight)[s_.frequencies[index % n]];
                for (int e = 0; e < letters_[static_cast<size_t>(lead_ + j)]; ++e)
                    x *= m;
            }
            w[i + 1] = w[i] + x;
        }
    }
}

} // namespace kim
