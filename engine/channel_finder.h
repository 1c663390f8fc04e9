// The clean-channel finder: the channels of a band tested as receivers against the
// study's transmitters. A channel is clean when no product lands closer to it than the
// separation, the same test, to the hertz, as for a receiver.
#pragma once

#include "study_engine.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kim {

// Channels a search tests at most.
inline constexpr uint64_t kMaxChannels = 1'000'000;

// What a channel is to the site: a receiver, a transmitter, or a transmitter with a
// receiver apart by an offset (a repeater's pair).
enum class ChannelRole { Receive, Transmit, Pair };

struct ChannelSearch {
    std::vector<std::string> transmit; // list texts, MHz
    std::string separation;            // kHz, as typed
    OrderChoice order = OrderChoice::FirstToFifth;
    double fromMHz = 0, toMHz = 0; // the band
    double rasterKHz = 0;          // channel step
    // Also keep the separation from every frequency of the study, transmit and receive.
    bool keepFromStudy = false;
    std::vector<std::string> receive; // list texts, MHz; read only with keepFromStudy
                                      // (and the receivers a transmitter may hit)
    ChannelRole role = ChannelRole::Receive;
    double offsetMHz = 0; // a pair's receiver: the channel plus this
};

// Empty when the band can be searched, else why not (FROM above TO, a raster of zero or
// less, more than kMaxChannels channels, a value that is not a finite number).
std::string checkBand(double fromMHz, double toMHz, double rasterKHz);

// The channels FROM + k * raster for k = 0, 1, ... while they do not pass TO, each the
// nearest double of the exact decimal sum: no drift, however many steps. Empty when
// checkBand() refuses the band.
std::vector<double> channelFrequencies(double fromMHz, double toMHz, double rasterKHz);

// One tested channel.
struct TestedChannel {
    double mhz = 0;        // the frequency tested: the channel as its list text holds it
    std::string text;      // "##0.00000", exactly the channel rounded half away from zero
    uint64_t products = 0; // interfering products
    // The product nearest to the channel, interfering or not, when one lies within
    // nearestBoundMHz(); its distance in kHz (whole hertz) and its result line.
    std::optional<double> nearestKHz;
    std::string nearestLine;
    bool nearStudyFrequency = false; // closer than the separation to a study frequency
    // A pair's receiver ("##0.00000") and the products there of the site's transmitters
    // alone; they are among `products`.
    std::string receiveText;
    uint64_t receiveProducts = 0;
    bool clean() const { return products == 0 && !nearStudyFrequency; }
};

struct ChannelResult {
    std::string error;                   // why the search did not run; empty otherwise
    bool cancelled = false;              // stopped: nothing else is set
    std::vector<TestedChannel> channels; // every channel of the band, ascending
    uint64_t clean = 0;
    ChannelRole role = ChannelRole::Receive;
};

// How far the nearest product of a channel is looked for: 1 MHz or 40 separations,
// whichever is larger.
double nearestBoundMHz(double separationMHz);

// A frequency tested as a channel is: its interfering products and the product nearest
// to it, interfering or not, when one lies within nearestBoundMHz().
struct NearestProduct {
    uint64_t products = 0;
    std::optional<double> nearestKHz; // whole hertz: three decimals
    std::string nearestLine;
};

struct NearestSearch {
    std::string error;      // why the study was refused; empty otherwise
    bool cancelled = false; // stopped before the end
};

// What a channel search returns when its nearest products' study did not finish: the stop
// or the refusal, and nothing else. Empty when it finished.
std::optional<ChannelResult> unfinished(const NearestSearch& near);

// Tests each receive frequency of the study as the finder tests a channel, and tells
// found(i, product) of the i-th, in list order; nothing lands anywhere without a
// transmitter. Any number of frequencies: the study holds 32,767 at most, so more run as
// several studies, and found() hears of each batch as it ends. Threads, stop and progress
// as for runStudy(). Throws std::bad_alloc when memory runs out.
NearestSearch nearestProducts(const StudyInput& input, const RunOptions& options,
                              const std::function<void(size_t, NearestProduct&&)>& found);

// Tests every channel of the band in its role (coordinator.h tells how a transmitter and
// a pair are tested). Threads, stop and progress as for runStudy(); the line limit is
// not used. The result is the same for any number of threads. Throws
// std::bad_alloc when memory runs out.
ChannelResult findChannels(const ChannelSearch& search, const RunOptions& options);

} // namespace kim
