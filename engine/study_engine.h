// One run of the intermodulation study: every harmonic and every sum and difference of
// the chosen order, tested against every receiver, giving the interfering products in
// the results list's order and the two counts.
#pragma once

#include <array>
#include <cstdint>
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

class StudyResult {
  public:
    // False when a frequency list is empty (the study does not run) or it was refused.
    bool ran() const { return ran_; }
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

    const Match& match(size_t i) const { return matches_[i]; }
    size_t transmitCount() const { return tx_.size(); }
    size_t receiveCount() const { return rx_.size(); }
    double transmitValue(size_t i) const { return tx_[i]; }
    double receiveValue(size_t i) const { return rx_[i]; }
    double separationMHz() const { return sepMHz_; }
    double productValue(const Match& m) const;
    double distanceMHz(const Match& m) const; // rounded to whole hertz

  private:
    friend class StudyRunner;
    friend StudyResult runStudy(const StudyInput&, uint64_t);
    bool prepare(const StudyInput& in);
    friend StudyResult runReferenceStudy(const StudyInput&);
    bool ran_ = false;
    std::string error_;
    uint64_t calculations_ = 0;
    uint64_t products_ = 0;
    std::vector<double> tx_, rx_;
    std::vector<std::string> txText_, rxText_; // "##,##0.00000"
    double sepMHz_ = 0;
    std::vector<Match> matches_;
};

inline constexpr const char* kNoInterferenceLine = "No Interfering Frequencies...";

// The study as the window runs it. Lines past lineLimit are counted, not kept: the
// kept lines are then the first lineLimit lines of the complete list.
StudyResult runStudy(const StudyInput& input, uint64_t lineLimit = kDefaultLineLimit);

// The straightforward nested loops, kept to check runStudy. Its matches stay in the
// order the loops produce them; referenceLines gives them sorted as the list shows them.
StudyResult runReferenceStudy(const StudyInput& input);
std::vector<std::string> referenceLines(const StudyResult& result);

// The number of product tests of a study, or nothing when it passes 2^63 - 1.
bool calculationCount(uint64_t transmitters, uint64_t receivers, OrderChoice order,
                      uint64_t* count);

// Whether the product interferes with the receiver: its distance rounded to whole
// hertz is strictly less than the separation. *distance gets that rounded distance.
bool productInterferes(double product, double receiver, double sepMHz, double* distance);

} // namespace kim
