// What the finder's window searches beyond its band: what a channel is to the site, the
// ranges no channel may use, and a set's channels as the table's rows.
#pragma once

#include "channel_finder.h"
#include "coordinator.h"
#include "spectrum_data.h"

#include <QString>

#include <optional>
#include <vector>

namespace kim {

enum class FindWhat { Receive, Transmit, Pair, Set };

// As the settings store keeps it: "Receive", "Transmit", "Pair" or "Set".
QString findWhatKey(FindWhat what);
FindWhat findWhatOf(const QString& key);

// Ranges typed as FROM-TO in MHz, separated by commas or semicolons ("512-518, 548-554");
// nothing when a part is not such a range. An empty text is no range at all.
std::optional<std::vector<FrequencyRange>> readRanges(const QString& text);

// The ranges for a status line: "512 to 518 MHz, 548 to 554 MHz".
QString rangesText(const std::vector<FrequencyRange>& ranges);

// The channels of a search outside the ranges (a pair's receiver too), counted again.
ChannelResult withoutExcluded(ChannelResult result, const std::vector<FrequencyRange>& ranges);

// A set's channels as the table's rows: each clean, with its receiver where it differs.
ChannelResult rowsOfSet(const CoordinationResult& set);

// What the band picture marks for a search: the ranges, and a set's chosen channels.
CoordinationMarks marksOf(const std::vector<FrequencyRange>& ranges, const CoordinationResult* set);

} // namespace kim
