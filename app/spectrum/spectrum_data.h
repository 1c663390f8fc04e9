// What the spectrum pane draws, kept apart from the window: the study's marks sorted by
// frequency, a frequency window laid across pixel columns, the kept lines by frequency
// (for naming a product under the pointer), the clean channels, and the steps of the
// frequency scale. The products' counts come from the engine's band counts.
#pragma once

#include "band_counts.h"
#include "study_engine.h"

#include <array>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

namespace kim {

// A frequency window laid across a run of pixels. Column c of the run holds the
// frequencies from edge(c) up to, not including, edge(c + 1).
class FrequencyScale {
  public:
    // The narrowest and the widest window the zoom reaches, in MHz.
    static constexpr double kMinSpan = 1e-4;
    static constexpr double kMaxSpan = 1e6;

    FrequencyScale() = default;
    FrequencyScale(double loMHz, double hiMHz, double left, double width);

    // The window; kept within the zoom's limits around its middle.
    void setWindow(double loMHz, double hiMHz);
    // Where the window lies on the screen; the frequencies stay.
    void setPixels(double left, double width);

    double lo() const { return lo_; }
    double hi() const { return lo_ + span_; }
    double span() const { return span_; }
    double left() const { return left_; }
    double width() const { return width_; }

    double toPixel(double mhz) const { return left_ + (mhz - lo_) / span_ * width_; }
    double toFrequency(double x) const { return lo_ + (x - left_) / width_ * span_; }
    double edge(int column) const { return toFrequency(left_ + column); }

    // Narrows the window by factor (below 1 widens it); the frequency under x stays there.
    void zoomAbout(double x, double factor);
    // Moves the band dx pixels along with the pointer.
    void panBy(double dx);

  private:
    double lo_ = 0, span_ = 1, left_ = 0, width_ = 1;
};

// The kept lines' products of each order, by ascending frequency with the index of each
// one's line, so that the products in any range are a difference of two positions.
class ProductIndex {
  public:
    // Products of one order in any order of frequency, their lines ascending.
    void assign(int order, std::vector<double> mhz, std::vector<uint32_t> lines);

    size_t size(int order) const { return mhz_[order - 1].size(); }
    size_t total() const;

    // Products of the order from lo up to, not including, hi.
    size_t count(int order, double lo, double hi) const;

    // The product nearest mhz among those from lo to hi (both included), of any order.
    struct Hit {
        int order = 0;
        double mhz = 0;
        uint32_t line = 0;
        size_t inRange = 0; // products of every order in the range
    };
    bool nearest(double mhz, double lo, double hi, Hit* hit) const;

  private:
    std::array<std::vector<double>, kMaxProductOrder> mhz_;
    std::array<std::vector<uint32_t>, kMaxProductOrder> line_;
};

struct ReceiverMark {
    double mhz = 0;
    uint64_t hits = 0; // interfering products that land on it, kept in the list or not
};

// Everything the picture shows of one study. Built once a study has run; read-only then
// (but for what its counter learns), so a thread may build it while the window draws the
// previous one.
class SpectrumData {
  public:
    // Lines of one study beyond this are not named (indices are 32-bit).
    static constexpr size_t kMaxLines = 0xFFFFFFFFu;

    // Empty when the study did not run. A stop abandons the build (empty too).
    static std::shared_ptr<const SpectrumData> build(std::shared_ptr<const StudyResult> result,
                                                     std::stop_token stop = {});

    bool empty() const { return transmitters_.empty() && receivers_.empty(); }
    const std::vector<double>& transmitters() const { return transmitters_; } // ascending
    const std::vector<ReceiverMark>& receivers() const { return receivers_; } // ascending
    // The kept lines' products.
    const ProductIndex& products() const { return products_; }
    double separationMHz() const { return separation_; }
    // Products the study found; the list may keep fewer lines.
    uint64_t productsFound() const { return found_; }
    // Every product the study found has its line in products().
    bool complete() const { return found_ == products_.total(); }
    std::string line(uint32_t index) const;
    // Counts the products in any bins of the band, kept or not; shared with the threads
    // that count.
    const std::shared_ptr<const BandCounter>& counter() const { return counter_; }

    // The band that holds every mark and every interfering product (the receivers with
    // their separation either side), with a little room; false when empty.
    bool extent(double* lo, double* hi) const;

  private:
    std::shared_ptr<const StudyResult> result_;
    std::shared_ptr<const BandCounter> counter_;
    std::vector<double> transmitters_;
    std::vector<ReceiverMark> receivers_;
    ProductIndex products_;
    double separation_ = 0;
    uint64_t found_ = 0;
};

// A channel of a band, as a clean-channel search reports it.
struct ShadedChannel {
    double mhz = 0;
    bool clean = false;
};

// Channels by ascending frequency with a running count of the clean ones, so that the
// clean share of a pixel column is a difference of two positions as well.
class ChannelSet {
  public:
    void assign(std::vector<ShadedChannel> channels, double rasterMHz);
    bool empty() const { return mhz_.empty(); }
    double rasterMHz() const { return raster_; }
    size_t size() const { return mhz_.size(); }
    double mhz(size_t i) const { return mhz_[i]; }
    bool clean(size_t i) const { return cleanBefore_[i + 1] > cleanBefore_[i]; }
    // The channels whose centres lie from lo up to, not including, hi: [first, last).
    void range(double lo, double hi, size_t* first, size_t* last) const;
    // Clean channels among [first, last).
    size_t cleanCount(size_t first, size_t last) const {
        return cleanBefore_[last] - cleanBefore_[first];
    }

  private:
    std::vector<double> mhz_;
    std::vector<size_t> cleanBefore_{0};
    double raster_ = 0;
};

// What a coordination shows: the ranges its channels may not use, and the channels it
// chose (their transmit and receive frequencies).
struct CoordinationMarks {
    std::vector<std::pair<double, double>> excluded; // MHz, both ends included
    std::vector<double> chosen;                      // MHz, ascending
    bool empty() const { return excluded.empty() && chosen.empty(); }
};

// A scale step of 1, 2 or 5 times a power of ten, the smallest not below minStep.
double niceStep(double minStep);
// Decimals a scale label needs so that neighbouring steps read apart (at most 6).
int stepDecimals(double step);
// The scale's ticks from lo to hi, multiples of step.
std::vector<double> scaleTicks(double lo, double hi, double step);

} // namespace kim
