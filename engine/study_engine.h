// One run of the intermodulation study: every harmonic and every sum and difference of
// the chosen order, tested against every receiver, giving the interfering products in
// the results list's order and the two counts.
#pragma once

#include "product_mix.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace kim {

enum class OrderChoice { First, FirstToThird, FirstToFifth };

// The product families in the order a study tests them.
struct FamilyInfo {
    const char* label;         // "A+B-C: "
    int letters;               // letters A.. in the formula; 1 for a harmonic
    int harmonic;              // n of nA, 0 for a multi-signal family
    std::array<bool, 5> minus; // letter i is subtracted
};
inline constexpr int kFamilyCount = 19;
const FamilyInfo& familyInfo(int family);

// A list holds at most this many frequencies.
inline constexpr size_t kMaxListEntries = 32767;
// Lines a study keeps at most; the counts stay exact beyond it.
inline constexpr uint64_t kDefaultLineLimit = 10'000'000;
// Distinct mixes a study lists at most; their count stays exact beyond it.
inline constexpr uint64_t kDefaultMixLimit = 100'000;

struct StudyInput {
    std::vector<std::string> transmit; // list texts, MHz
    std::vector<std::string> receive;  // list texts, MHz
    std::string separation;            // kHz, as typed
    OrderChoice order = OrderChoice::FirstToFifth;
};

// One interfering product: the transmitters standing for A..E, the receiver, the family.
struct Match {
    std::array<uint16_t, 5> letter{};
    uint16_t receiver = 0;
    uint8_t family = 0;
};

// What a study found at one receiver: computed from the matching itself, so it stays
// exact when the list is cut at its line limit.
struct ReceiverSummary {
    // Interfering products at this receiver by the order that adds them: [0] the
    // harmonics 1A..5A ("1st"), [1] sums and differences of two or three transmitters
    // ("3rd"), [2] of four or five ("5th").
    std::array<uint64_t, 3> products{};
    // The interfering product nearest to the receiver, the first in list order among
    // equally near ones; empty when none interferes.
    std::optional<Match> nearest;
    double nearestDistanceMHz = 0; // its distance, rounded to whole hertz
    uint64_t total() const { return products[0] + products[1] + products[2]; }

    // The same products by the order of their mix: [o] holds those of order o, [0] those
    // whose terms all cancel. Empty when the study ran without its mixes.
    std::array<uint64_t, kMixOrders> byOrder{};
    // The distinct mixes that hit this receiver.
    uint64_t mixes = 0;
    // A line of the strongest mix: the lowest order, then the nearest, then the first in
    // list order. Empty when nothing hits or the study ran without its mixes.
    std::optional<Match> strongest;
};

// A distinct mix that hits a receiver.
struct MixHit {
    ProductMix mix;
    uint16_t receiver = 0; // its place in the receive list
    // Its nearest line, the first in list order among equally near ones: the mix's
    // product and distance are this line's.
    Match nearest;
    uint64_t lines = 0; // the result lines it stands for at this receiver, kept or not
};

struct RunOptions;

class StudyResult {
  public:
    // False when a frequency list is empty (the study does not run), it was refused or
    // it was stopped.
    bool ran() const { return ran_; }
    // True when the study was stopped before it ended; nothing else is set then.
    bool cancelled() const { return cancelled_; }
    // Why the study was refused (too large to count); empty otherwise.
    const std::string& error() const { return error_; }
    uint64_t calculations() const { return calculations_; }
    uint64_t products() const { return products_; }
    // False when the study found more products than it keeps lines for.
    bool complete() const { return products_ == matches_.size(); }

    // The result lines in the results list's order, formatted on demand.
    size_t lineCount() const { return matches_.size(); }
    std::string line(size_t i) const;
    void appendLine(std::string& out, size_t i) const;
    // Every line in order, or "No Interfering Frequencies..." alone; nothing when not run.
    std::vector<std::string> listLines() const;

    // One summary for each entry of the receive list, in list order; none when not run.
    const std::vector<ReceiverSummary>& receivers() const { return receivers_; }
    // The result line of any match, such as a receiver's nearest product.
    std::string line(const Match& m) const;
    void appendLine(std::string& out, const Match& m) const;

    const Match& match(size_t i) const { return matches_[i]; }
    size_t transmitCount() const { return tx_.size(); }
    size_t receiveCount() const { return rx_.size(); }
    double transmitValue(size_t i) const { return tx_[i]; }
    double receiveValue(size_t i) const { return rx_[i]; }
    double separationMHz() const { return sepMHz_; }
    OrderChoice order() const { return order_; }
    double productValue(const Match& m) const;
    double distanceMHz(const Match& m) const; // rounded to whole hertz

    // The distinct transmitter frequencies, in text order: what the terms of a mix name.
    size_t frequencyCount() const { return freqValue_.size(); }
    uint16_t frequencyOf(size_t transmitter) const { return txFreq_[transmitter]; }
    double frequencyValue(uint16_t f) const { return freqValue_[f]; }
    const std::string& frequencyText(uint16_t f) const { return freqText_[f]; } // "##,##0.00000"
    ProductMix mix(const Match& m) const;
    // "2×152.30000 − 151.62500"
    std::string mixText(const ProductMix& mix) const { return kim::mixText(mix, freqText_); }

    // False when the study ran without its mixes (RunOptions::mixes off).
    bool mixesCounted() const { return mixesCounted_; }
    // Every distinct mix and receiver that it hits, as far as the mix limit goes: by
    // receiver in list order, then order, distance and mix. Whole orders only: the mixes
    // of an order are listed when all of them, and those of the lower orders, fit.
    const std::vector<MixHit>& mixes() const { return mixes_; }
    // Distinct mixes and receivers in all, listed or not.
    uint64_t mixCount() const { return mixCount_; }
    bool mixesComplete() const { return mixes_.size() == mixCount_; }
    // Every interfering line of the mix at the receiver (a place in the receive list), kept
    // in the list or not, in list order; at most `limit`.
    std::vector<Match> mixLines(const ProductMix& mix, size_t receiver, size_t limit) const;

  private:
    friend class StudyRunner;
    friend class MixStudy;
    bool prepare(const StudyInput& in);
    bool ran_ = false;
    bool cancelled_ = false;
    std::string error_;
    uint64_t calculations_ = 0;
    uint64_t products_ = 0;
    std::vector<double> tx_, rx_;
    std::vector<std::string> txText_, rxText_; // "##,##0.00000"
    double sepMHz_ = 0;
    OrderChoice order_ = OrderChoice::FirstToFifth;
    std::vector<Match> matches_;
    std::vector<ReceiverSummary> receivers_;
    std::vector<uint16_t> txFreq_;
    std::vector<double> freqValue_;
    std::vector<std::string> freqText_;
    bool mixesCounted_ = false;
    std::vector<MixHit> mixes_;
    uint64_t mixCount_ = 0;
};

inline constexpr const char* kNoInterferenceLine = "No Interfering Frequencies...";

// How a study runs. The defaults are the study as the window runs it.
struct RunOptions {
    // Lines kept at most. Past it the study goes on counting, exactly, and keeps the
    // first lineLimit lines of the list.
    uint64_t lineLimit = kDefaultLineLimit;
    // Threads to run on, the calling one among them; 0 takes every core, or the calling
    // thread alone for a study of little work. The lines and the counts are the same,
    // byte for byte, for any number of threads.
    unsigned threads = 0;
    // Bytes of working memory for sorted sums and targets; 0 takes 1 GiB. Less memory
    // only takes longer. The kept lines (14 bytes each) come on top.
    size_t memory = 0;
    // Once a stop is requested the study returns within half a second, cancelled.
    std::stop_token stop;
    // Told the share of the work done, from 0 to 1, when a hundredth more is done or a
    // tenth of a second has passed: from the calling thread or a worker thread, one call
    // at a time, never less than the call before. A study that ends is told 1 last; a
    // cancelled one is not. The study waits for it, so keep it short (post the figure,
    // do not draw).
    std::function<void(double share)> progress;
    // Told once, from the calling thread before the work starts, how many seconds the
    // study is expected to take on the threads it runs on: the plan the progress follows,
    // at the pace of an ordinary core. The kept lines are not in it yet: they join the
    // plan once counted.
    std::function<void(double seconds)> expected;
    // Count the products by the order of their mix, each receiver's distinct mixes and its
    // strongest, exactly at any size; off, the study is the plain one.
    bool mixes = true;
    // Distinct mixes and receivers listed at most (whole orders: see StudyResult::mixes());
    // their count stays exact. 0 lists none.
    uint64_t mixLimit = kDefaultMixLimit;
};

// Runs the study. Blocks the calling thread until it ends or is stopped; a study of
// little work runs on the calling thread alone. Throws std::bad_alloc when memory runs
// out, and what the progress callback throws, from whichever thread met it; nothing
// else of its own.
StudyResult runStudy(const StudyInput& input, const RunOptions& options);

// The same with the default options and a line limit.
StudyResult runStudy(const StudyInput& input, uint64_t lineLimit = kDefaultLineLimit);

// The work of a study of this many transmitters and receivers, all different, as the
// study plans it with the default memory: sums sorted and targets swept, a few
// nanoseconds each on one core. Equal frequencies make less.
double studyWork(uint64_t transmitters, uint64_t receivers, OrderChoice order);

// Below this much work a study takes a few milliseconds, less than starting threads
// costs: runStudy() runs it on the calling thread alone, and the window without a
// thread of its own.
inline constexpr double kQuickStudyWork = 2e6;

// The number of product tests of a study, or nothing when it passes 2^63 - 1.
std::optional<uint64_t> calculationCount(uint64_t transmitters, uint64_t receivers,
                                         OrderChoice order);

// The product of a family for the values of its letters (A alone for a harmonic), as
// the study computes it: left to right in double precision, 2A as A + A.
double familyProduct(int family, const std::array<double, 5>& letters);

// The distance of the product to the receiver rounded to whole hertz, when it is
// strictly less than the separation (the product interferes); nothing otherwise.
std::optional<double> productInterferes(double product, double receiver, double sepMHz);

// The result line of the product of a family for the values of its letters and the
// receiver, as the list shows it.
std::string resultLine(int family, const std::array<double, 5>& letters, double receiver);

} // namespace kim
