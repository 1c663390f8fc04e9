#include "channel_finder.h"

#include <stdexcept>

namespace kim {

std::string checkBand(double, double, double) {
    throw std::logic_error("checkBand: not yet");
}

std::vector<double> channelFrequencies(double, double, double) {
    return {};
}

double nearestBoundMHz(double separationMHz) {
    return separationMHz * 40 > 1 ? separationMHz * 40 : 1;
}

ChannelResult findChannels(const ChannelSearch&, const RunOptions&) {
    ChannelResult r;
    r.error = "The clean-channel finder is not built yet.";
    return r;
}

} // namespace kim
