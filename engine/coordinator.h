// Frequency coordination: channels for a new tenant of a site, and a set of N channels
// that stay clean together with it.
//
// A new transmitter is clean when no product of the study's order that involves it lands
// within the separation of a receiver: the site's, or its own receiver's. A product is
// read by its mix (each frequency with its net coefficient once equal opposite terms
// cancel), so a product whose new transmitters cancel out is the site's own, and the
// site's own products on its own receivers are the site's matter, not a new channel's.
// A channel's own signal on its own receiver (the mix that is its frequency once) is not
// a hit. A new transmitter on a site transmitter's channel (within the separation) is no
// new channel.
//
// Every test is exact to the hertz, the same test the study makes; a set reported clean
// has been studied with the site by the study itself.
#pragma once

#include "channel_finder.h"
#include "study_engine.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kim {

// A range of frequencies in MHz, both ends included.
struct FrequencyRange {
    double fromMHz = 0, toMHz = 0;
};

// Channels a coordination may ask for at most.
inline constexpr size_t kMaxCoordinated = 10'000;

struct CoordinationRequest {
    // The site, as the study holds it.
    std::vector<std::string> transmit, receive; // list texts, MHz
    std::string separation;                     // kHz, as typed
    OrderChoice order = OrderChoice::FirstToThird;
    // Where the channels may lie: FROM + k * raster in each band, except in exclusions.
    std::vector<FrequencyRange> bands;
    double rasterKHz = 0;
    std::vector<FrequencyRange> exclusions;
    // 0: each channel transmits and receives on one frequency (a microphone and its
    // receiver); otherwise it receives this far from where it transmits.
    double offsetMHz = 0;
    size_t wanted = 1;
    double timeLimitSeconds = 60;
};

struct CoordinatedChannel {
    std::string transmitText, receiveText; // "##0.00000"
    double transmitMHz = 0, receiveMHz = 0;
};

struct CoordinationResult {
    std::string error;                        // why it did not run; empty otherwise
    bool cancelled = false;                   // stopped: nothing else is set
    std::vector<CoordinatedChannel> channels; // ascending
    size_t requested = 0;
    // No larger clean set exists, or all that were asked for were found.
    bool provenBest = false;
    double seconds = 0;      // the whole run
    double bestSeconds = 0;  // until a set of the size found was first found
    uint64_t candidates = 0; // channels of the bands outside the exclusions
    uint64_t cleanAlone = 0; // of them, clean beside the site one at a time
    // Channels that the study of the set with the site took out again: none, unless the
    // search itself is at fault.
    uint64_t repaired = 0;
};

// Why the request cannot be searched (a band or an exclusion that is not a range, a
// raster of zero or less, too many channels, exclusions that leave no channel, an offset
// that puts a receiver below 0 MHz, a number of channels outside 1 to kMaxCoordinated, a
// time limit of zero or less); empty when it can. The study's frequencies are not looked
// at.
std::string checkCoordination(const CoordinationRequest& request);

// Searches for the largest clean set of at most `wanted` channels within the time limit
// and the stop of the options; progress is the share of the time limit. The result is
// the same for the same request, whatever the threads, when the search ends before its
// time limit. Throws std::bad_alloc when memory runs out.
CoordinationResult Coordinate(const CoordinationRequest& request, const RunOptions& options);

// The lines of the study of the site with the channels added (each a transmitter and a
// receiver) that count against the channels: every line but the site's own products on
// the site's receivers and a channel's own signal on its own receiver. At most `limit`
// lines are returned. Threads and stop as for runStudy(); empty when stopped.
struct ChannelHits {
    std::vector<std::string> lines;
    std::vector<size_t> channels; // for each line, the last channel taking part
    bool cancelled = false;
    std::string error;
};
ChannelHits hitsOfChannels(const StudyInput& site, const std::vector<CoordinatedChannel>& channels,
                           const RunOptions& options, size_t limit = 1000);

// The result: text, the chosen channels' transmit frequencies one a line; JSON,
// {"channels": [...], "requested": N, "found": M, "proven_best": ..., "seconds": S}.
bool exportCoordination(const CoordinationResult& result, bool json,
                        const std::function<bool(std::string_view)>& write);

// The transmit and pair finders behind findChannels().
ChannelResult findTransmitChannels(const ChannelSearch& search, const RunOptions& options);

// Why a pair's offset cannot go with the band (a receiver below 0 MHz, not a number);
// empty when it can.
std::string checkOffset(double fromMHz, double offsetMHz);

} // namespace kim
