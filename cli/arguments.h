// The arguments of intermod-study: the options, their usage text and their reading.
#pragma once

#include "channel_finder.h"
#include "coordinator.h"
#include "study_engine.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace cli {

constexpr int kExitFailed = 1, kExitUsage = 2;

struct Options {
    kim::OrderChoice order = kim::OrderChoice::FirstToFifth;
    std::string format = "text";
    // --find-channels: the band and the raster.
    bool findChannels = false;
    double fromMHz = 0, toMHz = 0;
    std::optional<double> rasterKHz;
    bool keepFromStudy = false;
    kim::ChannelRole role = kim::ChannelRole::Receive;
    bool roleGiven = false;
    std::optional<double> offsetMHz;
    // --coordinate: the number of channels, the bands, the exclusions, the time limit.
    std::optional<size_t> coordinate;
    std::vector<kim::FrequencyRange> bands, exclusions;
    std::optional<double> timeLimit;
    std::optional<std::string> separation;
    unsigned threads = 0;
    bool quiet = false;
    bool mixes = false; // --mixes
    std::string file;
};

// The request of --coordinate, without the study's site.
kim::CoordinationRequest coordinationOf(const Options& o);

// Reads the arguments into o; returns an exit status when the program ends here.
std::optional<int> parseArguments(int argc, char** argv, Options& o);

} // namespace cli
